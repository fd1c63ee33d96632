#pragma once

#include "FailureRecord.h"
#include "IdWindows.h"
#include "SerialPort.h"

#include <QByteArray>

#include <array>

// Identification restore: writes each row's text to its window, in table
// order, whether or not an earlier write failed; a row whose read failed and
// whose text is still the failure text is skipped. Every refused write is
// recorded and raises the flag. The restore dialog's "Send and Lock the
// Controller".
using IdWindowTexts = std::array<QByteArray, IdWindowCount>;
StepOutcome RestoreControllerParameters(SerialPort &port, const IdBackup &rows, const IdWindowTexts &texts,
                                        FailureRecord &record);
