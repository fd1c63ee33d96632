#pragma once
// The steps of an upload. Each reports only through RecordFailure (which sets
// ErrorFlag by the step's rule) and returning; the driver decides what follows.

#include "StepHost.h"
#include "mdlGlobal.h"

#include <QByteArray>
#include <QString>

#include <array>

// Identification backup
void StoreControllerParameters(StepHost &host);
WindowReply ReadIdWindow(StepHost &host, const IdWindow &row);
// Writes "tmpLogWin.txt" in the current directory, whole or not at all.
// On failure returns false with the path and the reason in `error`.
bool WriteParameterLog(QString *error);
QString ParameterLogPath();
// Every window read and zero or empty, as an erased controller's application
// answers: no one's values, to be neither trusted nor written back blind.
bool BackupLooksErased();

// Identification restore: writes each row's text to its window, in table
// order, whether or not an earlier write failed; a row whose read failed and
// whose text is still the failure text is skipped. Failed writes leave
// ErrorFlag at -1. The restore dialog's "Send and Lock the Controller".
using IdWindowTexts = std::array<QByteArray, IdWindowCount>;
void RestoreControllerParameters(SerialPort &port, const IdWindowTexts &texts);

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
