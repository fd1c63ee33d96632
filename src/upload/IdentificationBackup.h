#pragma once

#include "FailureRecord.h"
#include "LineAnswer.h"
#include "StepHost.h"
#include "IdWindows.h"
#include "WindowReply.h"

#include <QString>

// Identification backup: the nine windows as read. A row whose read failed
// holds the link's failure text; rows after a read that stopped the step are
// left blank.
// When the first window got no byte back, the step asks what answers instead
// and, when a monitor does, stops there: no window frame may reach a monitor.
struct StoredParameters {
  IdBackup Rows;
  StepOutcome Outcome;
  LineAnswer Answer;      // who answered instead of a silent application
  bool FirstUnanswered = false;
  bool MonitorAnswered() const { return Answer.Who != Answerer::Nothing; }
};
StoredParameters StoreControllerParameters(StepHost &host, FailureRecord &record);
WindowReply ReadIdWindow(StepHost &host, const IdWindow &row);
// Writes "tmpLogWin.txt" in the current directory, whole or not at all.
// On failure returns false with the path and the reason in `error`.
bool WriteParameterLog(const IdBackup &rows, QString *error);
QString ParameterLogPath();
// Every window read and zero or empty, as an erased controller's application
// answers: no one's values, to be neither trusted nor written back blind.
bool BackupLooksErased(const IdBackup &rows);
