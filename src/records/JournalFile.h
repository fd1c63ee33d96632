#pragma once
// The journal's file: where it is, whether it can take a line, and an append
// that is whole or not there at all, under a short lock beside it.

#include "JournalColumns.h"
#include "Verdict.h"

#include <QDir>
#include <QString>

// "calvenori-uploads.csv"
constexpr char JournalFileName[] = "calvenori-uploads.csv";

// How long an upload waits for another one's short hold on a shared journal.
constexpr int JournalLockWaitMs = 10000;

// The file's bytes from `from` to its end; false and the reason when it cannot be read.
bool ReadJournalRange(const QString &path, qint64 from, QByteArray &out, QString *reason);

// Why a file with a foreign first line is left alone.
QString NotAJournal();

// Lower-case hex, as sha256sum prints it; empty when the file cannot be read.
QString FileSha256(const QString &path);

// `folder`'s journal, or `chosen` when one is given (--journal).
QString JournalPathFor(const QDir &folder, const QString &chosen = {});

// Before anything is sent: the journal is one of ours (or not there yet), its
// lock file can be made, and a line can be added to it; otherwise the reason.
// Checked under the journal's lock, as an append is.
Verdict JournalUsable(const QString &path, int lockWaitMs = JournalLockWaitMs);

// Adds the entry's line (and the header to a new journal) at the end, then
// reads the end back and compares; on any failure the journal is cut back to
// what it held before, and the verdict says why. Several uploads may share
// one journal: a short lock beside it keeps their lines whole.
Verdict AppendToJournal(const QString &path, const JournalEntry &entry);
