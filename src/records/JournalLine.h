#pragma once
// The journal line of any operation (an upload, a finish, an identification,
// a verification): what it gathered as it ran, made into the journal's entry.

#include "IdWindows.h"
#include "BackupWrite.h"
#include "Journal.h"

#include <QDateTime>
#include <QString>

// Who runs the program: the login name, from the environment or, when no
// variable names one (a service, a container), the password database.
QString JournalUserName();

struct OperationFacts {
  QString Mode;  // "full", "parameter list", "identify", "verify"
  QDateTime Started;
  bool CheckErrors = true;
  int PortNumber = 0;  // 0: the port was given by its path
  QString Device;
  // The files as they were read at the start; no checksum for one not read.
  QString ParameterList, ParameterListSha256;
  QString ProgramFile, ProgramFileSha256;
  // The identification windows: read, or (ValuesFrom) written back from a backup.
  bool RowsKnown = false;
  IdBackup Rows = BlankBackup();
  int Failures = 0;
  QString Outcome;        // the journal's words for the ending
  QString ValuesFrom;     // the backup whose values stood in for a controller that answered as a monitor
  BackupFiles Backup;     // what the backup step wrote and kept
  QString LastStage;      // the last stage completed (StageName)
  QString OwnBackup;      // the own backup a later finish takes its values from
  int ExchangesRepeated = 0, RecordsSentAgain = 0;  // what the line cost
};

// The whole line, ended now.
JournalEntry JournalEntryFor(const OperationFacts &facts);
