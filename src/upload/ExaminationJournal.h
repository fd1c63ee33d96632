#pragma once
// The journal line of an identification or a verification: the upload
// journal's columns, with the mode "identify" or "verify".

#include "IdWindows.h"
#include "Journal.h"
#include "UploadDriver.h"

#include <QDateTime>
#include <QString>

struct ExaminationNote {
  QString Mode;  // "identify" or "verify"
  QDateTime Started;
  bool ParameterListUsed = false;
  const IdBackup *Rows = nullptr;  // the windows read, when the application answered
  QString Outcome;
};

// The entry as AppendToJournal takes it.
JournalEntry ExaminationEntry(UploadHost &host, const ExaminationNote &note);
