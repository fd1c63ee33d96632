#pragma once
// The journal's columns: what a line says of one attempt, its titles in
// order, and the widths the header has had (columns are only ever added at
// the end, so an earlier journal still reads and takes lines).

#include <QDateTime>
#include <QString>
#include <QStringList>

// The header's widths so far, oldest first: each version adds columns at the end.
constexpr int JournalWidths[] = {19, 21, 23};

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
  // What the line cost: exchanges asked again because an answer was spoiled
  // or lost, and among them the S-records sent again.
  int ExchangesRepeated = 0, RecordsSentAgain = 0;
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
