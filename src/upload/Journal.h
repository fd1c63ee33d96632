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

// How long an upload waits for another one's short hold on a shared journal.
constexpr int JournalLockWaitMs = 10000;

struct JournalEntry {
  QDateTime Started, Ended;  // written with their UTC offset
  QString Program, Version;
  QString User, Host;
  QString Mode;         // "full" or "parameter list"
  bool CheckErrors = true;
  int PortNumber = 0;   // 0: the port was given by its device path alone
  QString Device;
  QString ControllerPartNumber, ControllerSerialNumber;  // empty when not read
  QString ParameterList, ParameterListSha256;
  QString ProgramFile, ProgramFileSha256;  // full mode only
  QString Outcome;      // "uploaded", "interrupted at CRC verifyng", ...
  int FailuresLetPass = 0;
  QString Backup;       // the backup written, and the earlier one kept
  QString LastStage;    // the last stage the attempt completed (UploadStage.h); empty: none
  QString OwnBackup;    // the attempt's own copy of its backup, which no later upload replaces
};

// The column titles, in the order of JournalFields.
QStringList JournalHeader();
QStringList JournalFields(const JournalEntry &entry);
// The entry a journal line holds, its fields read by the titles of `header`
// (an earlier journal lacks the later columns: they read empty).
JournalEntry JournalEntryOf(const QStringList &header, const QStringList &fields);

// A journal's first line: the header of this version or of an earlier one,
// which lacked the columns added since at its end.
bool IsJournalHeader(const QStringList &fields);
// A line of `fieldCount` fields reads whole in a journal whose header has
// `headerWidth`: as many as its header, or as many as a later version writes.
bool IsWholeJournalLine(qsizetype fieldCount, qsizetype headerWidth);

// One CSV record ending in CR LF; a field holding a comma, a quote or a line
// end is quoted, its quotes doubled.
QByteArray CsvRecord(const QStringList &fields);
// Every record of `csv` (UTF-8); false with the line and the reason for a
// field whose quotes are not closed.
bool ParseCsv(const QByteArray &csv, QList<QStringList> &records, QString *error);

// A journal line as it goes into the file. The journal is opened in
// spreadsheets, which take a field beginning with = + - @ a tab or a CR for a
// formula: such a field gets an apostrophe before it, which makes it text. So
// that every value reads back as it was, one already beginning with
// apostrophes and then one of those gets one more.
QByteArray JournalRecord(const QStringList &fields);
// A field of a journal line as it was before JournalRecord wrote it: one
// apostrophe less when it is apostrophes and then one of those characters,
// otherwise as it is (as in journals written before the apostrophe).
QString JournalValue(const QString &field);

// What a journal's bytes hold. A line cut short by a crash, or mangled in an
// editor, costs that line alone: the reader goes on at the next line that
// reads whole.
struct JournalContent {
  QStringList Header;          // the first line's fields; empty for an empty file
  QList<QStringList> Lines;    // every whole line after it, each as many fields as the header, as JournalValue gives them
  int Unreadable = 0;          // lines skipped
  // The journal ends inside its last line, as a crash leaves it: the fields
  // that line has so far, and whether it stops inside a quoted field.
  bool EndsInCutLine = false;
  int CutLineFields = 0;
  bool CutInQuotes = false;
};
JournalContent ReadJournal(const QByteArray &csv);

// What has to go before a line added to `journal` so that it starts a line of
// its own and a cut line stays unreadable: nothing, a line end, or what
// closes the cut line first (a quote, and a field too many when it would
// otherwise count as whole).
QByteArray FreshLineStart(const QByteArray &journal);

// Lower-case hex, as sha256sum prints it; empty when the file cannot be read.
QString FileSha256(const QString &path);

// `folder`'s journal, or `chosen` when one is given (--journal).
QString JournalPathFor(const QDir &folder, const QString &chosen = {});

// Before anything is sent: the journal is one of ours (or not there yet), its
// lock file can be made, and a line can be added to it. Otherwise false and
// the reason. Checked under the journal's lock, as an append is.
bool JournalUsable(const QString &path, QString *reason, int lockWaitMs = JournalLockWaitMs);

// Adds the entry's line (and the header to a new journal) at the end, then
// reads the end back and compares; on any failure the journal is cut back to
// what it held before and *reason says why. Several uploads may share one
// journal: a short lock beside it keeps their lines whole.
bool AppendToJournal(const QString &path, const JournalEntry &entry, QString *reason);

// The journal's lines as an aligned table for a terminal, newest first.
QString JournalTableText(const JournalContent &content);
// The same read from `path`; *unreadable (when given) counts the lines skipped.
bool JournalTable(const QString &path, QString &table, QString *reason, int *unreadable = nullptr);
