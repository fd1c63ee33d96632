#pragma once

#include "FailureRecord.h"
#include "BackupWrite.h"
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

