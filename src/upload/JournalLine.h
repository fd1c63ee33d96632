#pragma once
// The journal line of one press of Start Upload: what is known as it starts,
// completed once the upload's result is known and written before the
// technician is told of it.

#include "Journal.h"
#include "UploadHost.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "UnfinishedUpload.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

struct JournalLine {
  QString Path;
  JournalEntry Entry;  // the columns known at the start
};

// Who runs the program: the login name, from the environment or, when no
// variable names one (a service, a container), the password database.
QString JournalUserName();

// At the press of Start Upload, before anything is checked or sent; the
// files' checksums are taken as they are now.
// `kind` is the upload's, which for a finish is its attempt's; a finish that
// does not send the program file again records the attempt's.
JournalLine BeginJournalLine(UploadHost &host, const QDir &folder, UploadKind kind,
                             const FinishRequest *finish = nullptr);

// How far an upload got and how it ended, as its line records it.
struct LineEnding {
  bool PortOpened = false;
  IdBackup Rows = BlankBackup();  // what the backup step read
  int Failures = 0;
  QString Outcome;                // the journal's words for the ending
  QString ValuesFrom;             // the backup whose values stood in for a controller that answered as a monitor
  BackupFiles Backup;             // what the backup step wrote and kept
  QString LastStage;              // the last stage completed (StageName)
  QString OwnBackup;              // the own backup a later finish takes its values from
};

// The whole line as of now.
JournalEntry FinishedEntry(const JournalLine &line, UploadHost &host, const LineEnding &ending);
