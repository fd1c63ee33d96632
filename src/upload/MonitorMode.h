#pragma once

#include "FailureRecord.h"
#include "StepHost.h"

#include <QByteArray>

// Monitor mode and CRC. SetMonitorMode leaves the flag lowered: the
// monitor-mode check that follows is its verdict.
StepOutcome SetMonitorMode(StepHost &host, FailureRecord &record);
StepOutcome SendCrc(StepHost &host, FailureRecord &record, qint32 Crc);

// The full upload sends this fixed CRC, not the parameter list's.
constexpr qint32 FullUploadCrc = 65535;
QByteArray CrcCommand(qint32 crc);
bool MonitorModeCheck(StepHost &host);  // "U" answered by "Q"
