#pragma once
// The upload journal: one CSV line per upload attempt, saying which controller
// got which files, when, from whom and how it ended. A record for the
// technician's service report and for an auditor, kept beside the backups.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

// "calvenori-uploads.csv"
constexpr char JournalFileName[] = "calvenori-uploads.csv";

struct JournalEntry {
  QDateTime Started, Ended;  // written with their UTC offset
  QString Program, Version;
  QString User, Host;
  QString Mode;         // "full" or "parameter list"
  bool CheckErrors = true;
  int PortNumber = 0;
  QString Device;
  QString ControllerPartNumber, ControllerSerialNumber;  // empty when not read
  QString ParameterList, ParameterListSha256;
  QString ProgramFile, ProgramFileSha256;  // full mode only
  QString Outcome;      // "uploaded", "interrupted at CRC verifyng", ...
  int FailuresLetPass = 0;
  QString Backup;       // the backup written, and the earlier one kept
};

// The column titles, in the order of JournalFields.
QStringList JournalHeader();
QStringList JournalFields(const JournalEntry &entry);

// One CSV record ending in CR LF; a field holding a comma, a quote or a line
// end is quoted, its quotes doubled.
QByteArray CsvRecord(const QStringList &fields);
// Every record of `csv` (UTF-8); false with the line and the reason for a
// field whose quotes are not closed.
bool ParseCsv(const QByteArray &csv, QList<QStringList> &records, QString *error);

// Lower-case hex, as sha256sum prints it; empty when the file cannot be read.
QString FileSha256(const QString &path);

// `folder`'s journal, or `chosen` when one is given (--journal).
QString JournalPathFor(const QDir &folder, const QString &chosen = {});

// Before anything is sent: the journal is one of ours (or not there yet), and
// a line can be added to it. Otherwise false and the reason.
bool JournalUsable(const QString &path, QString *reason);

// Adds the entry's line (and the header to a new journal) at the end, then
// reads the end back and compares; on any failure the journal is cut back to
// what it held before and *reason says why. Several uploads may share one
// journal: a short lock beside it keeps their lines whole.
bool AppendToJournal(const QString &path, const JournalEntry &entry, QString *reason);

// The journal as an aligned table for a terminal, newest line first.
bool JournalTable(const QString &path, QString &table, QString *reason);
