#pragma once
// The restore step on a terminal: the nine identification windows listed with
// the values saved at the start, changed by WIN=VALUE answers, then written
// back as the restore dialog writes them.

#include "SerialPort.h"
#include "mdlGlobal.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <cstdio>

struct RestoreChoice {
  RestoreChoice();  // the saved values, to be sent
  bool Send = true;  // false: Cancel, nothing written
  std::array<QByteArray, IdWindowCount> Values;
  QStringList Changes;  // "322=CS-1", as accepted
};

// Lists the windows on `out` and reads answers from `in` until an empty line
// (send), "skip" (cancel) or the end of the input (send).
RestoreChoice AskRestore(std::FILE *in, std::FILE *out);

// One line for the trace: "send", "send 322=CS-1", "cancel".
QString DescribeChoice(const RestoreChoice &choice);

// The dialog's writes: every window in order, a failed read left unchanged
// skipped; a refusal leaves ErrorFlag at -1.
void WriteBack(SerialPort &port, const std::array<QByteArray, IdWindowCount> &values);
