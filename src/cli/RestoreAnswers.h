#pragma once
// The restore step on a terminal: the nine identification windows listed with
// the values saved at the start, changed by WIN=VALUE answers, then written
// back by the restore dialog's own write-back.

#include "IdWindows.h"
#include "KeptBackups.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <cstdio>

struct RestoreChoice {
  explicit RestoreChoice(const IdBackup &rows);  // the saved values, to be sent
  RestoreChoice(const IdBackup &rows, const std::array<QByteArray, IdWindowCount> &values);
  IdBackup Rows;     // the backup the values start from
  bool Send = true;  // false: Cancel, nothing written
  std::array<QByteArray, IdWindowCount> Values;
  QStringList Changes;  // "322=CS-1", as accepted
  // Per row: the value a kept backup holds where the backup read a blank.
  KeptValues Kept;
};

// Lists the windows of `start` under `heading` on `out`.
void ListRestore(std::FILE *out, const RestoreChoice &start, const char *heading);

// Lists the windows, then reads answers from `in` until an empty line (send),
// "skip" (cancel) or the end of the input (send).
RestoreChoice AskRestore(std::FILE *in, std::FILE *out, RestoreChoice start,
                         const char *heading = "Identification windows saved at the start of the upload:");

// One line for the trace: "send", "send 322=CS-1", "cancel".
QString DescribeChoice(const RestoreChoice &choice);
