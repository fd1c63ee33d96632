#pragma once

#include "FailureRecord.h"
#include "KeptBackups.h"
#include "LineAnswer.h"
#include "StepProgress.h"
#include "IdWindows.h"
#include "WindowReply.h"

#include <QString>

// Identification backup: the nine windows as read. A row whose read failed
// holds the link's failure text; rows after a read that stopped the step are
// left blank.
// When no whole reply frame answers the first window, the step asks what
// answers instead and, when a monitor does, stops there: no window frame may
// reach a monitor.
struct StoredParameters {
  IdBackup Rows;
  StepResult Result;
  LineAnswer Answer;      // who answered instead of a silent application
  bool FirstUnanswered = false;  // no byte at all came for the first window, nor for the CRs after it
  bool MonitorAnswered() const { return Answer.Who != Answerer::Nothing; }
};
StoredParameters StoreControllerParameters(SerialPort &port, StepProgress &progress, bool checkErrors);
WindowReply ReadIdWindow(SerialPort &port, const IdWindow &row);
// What the backup step left in the working folder, for the journal.
struct BackupFiles {
  QString Written;  // the backup's absolute path, once written
  QString KeptAs;   // the file name the earlier backup was kept under, when it was
  QString Own;      // the absolute path of this upload's own copy, once written
};

// How a backup is written: with a copy of its own beside it, named for the
// controller's serial number and the time, which no later upload replaces
// (a finish writes back the values of the attempt it finishes, whose own copy
// is there already).
enum class OwnCopy { Keep, None };

// Writes "tmpLogWin.txt" in `folder`, whole or not at all, keeping an earlier
// one that differs, and the upload's own copy. On failure returns false with
// the path and the reason in `error`; `files`, when given, says what was
// written and kept.
bool WriteParameterLog(const QDir &folder, const IdBackup &rows, QString *error, BackupFiles *files = nullptr,
                       OwnCopy own = OwnCopy::Keep);
QString ParameterLogPath(const QDir &folder);
// Every window that was read is zero or empty, as an erased controller's
// application answers: no one's values, to be neither trusted nor written back
// blind. Rows whose read failed are left out; none read is no verdict.
bool BackupLooksErased(const IdBackup &rows);

// The blanks of a backup judged row by row against the kept backups: a row
// read zero or empty where a kept backup holds a value is suspect on its own,
// as a partly erased or partly restored controller leaves it. Rows whose read
// failed are not judged.
struct BlankVerdict {
  bool Erased = false;  // BackupLooksErased
  KeptValues Suspect;   // per row: the kept value a blank written back would replace
  bool AnySuspect() const;
  QList<int> SuspectWindows() const;
};
BlankVerdict JudgeBlanks(const IdBackup &rows, const KeptValues &kept);
