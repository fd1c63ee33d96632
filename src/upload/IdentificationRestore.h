#pragma once

#include "FailureRecord.h"
#include "IdWindows.h"
#include "SerialPort.h"

#include <QByteArray>

#include <array>

// Identification restore: writes each row's text to its window, in table
// order, whether or not an earlier write was refused; a row whose read failed
// and whose text is still the failure text is skipped. Every failed write is
// recorded and raises the flag. A window that got no byte back ends the round
// there: the rest would each wait as long for a controller that is not
// listening. The restore dialog's "Send and Lock the Controller".
using IdWindowTexts = std::array<QByteArray, IdWindowCount>;
enum class RestoreRound {
  Written,
  Refused,     // a window refused or garbled its answer: the values are to be checked
  Unanswered,  // a window got no byte back: the controller does not answer
};
RestoreRound RestoreControllerParameters(SerialPort &port, const IdBackup &rows, const IdWindowTexts &texts,
                                         FailureRecord &record);
