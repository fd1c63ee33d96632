#pragma once
// The steps of an upload. Each reports only by setting ErrorFlag (and counting
// the failure in FailureCount) and returning; the driver decides what follows.

#include "StepHost.h"
#include "mdlGlobal.h"

#include <QByteArray>
#include <QString>

// Identification backup
void StoreControllerParameters(StepHost &host);
WindowReply ReadIdWindow(StepHost &host, const IdWindow &row);
// Writes "tmpLogWin.txt" in the current directory, whole or not at all.
// On failure returns false with the path and the reason in `error`.
bool WriteParameterLog(QString *error);
QString ParameterLogPath();

// Monitor mode and CRC
void SetMonitorMode(StepHost &host);
void SendCrc(StepHost &host, qint32 Crc);
QByteArray CrcCommand(qint32 crc);
bool MonitorModeCheck(StepHost &host);  // "U" answered by "Q"

// Program file
void SendProgramFile(StepHost &host, const QByteArray &PromptTag);

// Parameter list
void SendParameterList(StepHost &host);
void VerifyParameterList(StepHost &host);
