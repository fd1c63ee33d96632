#pragma once
// Monitor mode and CRC. SetMonitorMode raises no flag: the monitor-mode check
// that follows is its verdict.

#include "FailureRecord.h"
#include "SerialPort.h"
#include "StepProgress.h"

#include <QByteArray>

StepResult SetMonitorMode(SerialPort &port, StepProgress &progress);
StepResult SendCrc(SerialPort &port, StepProgress &progress, bool checkErrors, qint32 crc);

// The full upload sends this fixed CRC, not the parameter list's.
constexpr qint32 FullUploadCrc = 65535;
QByteArray CrcCommand(qint32 crc);
bool MonitorModeCheck(SerialPort &port);  // "U" answered by "Q", asked once
// Where the parameter monitor is expected: the check asked again on any
// other answer before it counts as not there.
bool ConfirmMonitorMode(SerialPort &port);
