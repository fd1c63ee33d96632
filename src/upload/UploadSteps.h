#pragma once
// The steps of an upload. Each records what went wrong in the upload's
// FailureRecord (whose flag it raises by the step's rule) and returns how it
// ended; the driver decides what follows.

#include "FailureRecord.h"
#include "StepHost.h"
#include "mdlGlobal.h"

#include <QByteArray>
#include <QString>

#include <array>

// Identification backup: the nine windows as read. A row whose read failed
// holds the link's failure text; rows after a read that stopped the step are
// left blank.
struct StoredParameters {
  IdBackup Rows;
  StepOutcome Outcome;
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

// Identification restore: writes each row's text to its window, in table
// order, whether or not an earlier write failed; a row whose read failed and
// whose text is still the failure text is skipped. Every refused write is
// recorded and raises the flag. The restore dialog's "Send and Lock the
// Controller".
using IdWindowTexts = std::array<QByteArray, IdWindowCount>;
StepOutcome RestoreControllerParameters(SerialPort &port, const IdBackup &rows, const IdWindowTexts &texts,
                                        FailureRecord &record);

// Monitor mode and CRC. SetMonitorMode leaves the flag lowered: the
// monitor-mode check that follows is its verdict.
StepOutcome SetMonitorMode(StepHost &host, FailureRecord &record);
StepOutcome SendCrc(StepHost &host, FailureRecord &record, qint32 Crc);
QByteArray CrcCommand(qint32 crc);
bool MonitorModeCheck(StepHost &host);  // "U" answered by "Q"

// Program file
StepOutcome SendProgramFile(StepHost &host, FailureRecord &record, const QByteArray &PromptTag);

// Parameter list
StepOutcome SendParameterList(StepHost &host, FailureRecord &record);
StepOutcome VerifyParameterList(StepHost &host, FailureRecord &record);
