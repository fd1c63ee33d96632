#pragma once
// The step caption and progress bar on a terminal: one line redrawn in place.
// Elsewhere (a log file, a pipe) one plain line per step and per tenth of it,
// so the log stays readable.

#include "Progress.h"

#include <QString>

#include <cstdio>

class ProgressPrinter {
 public:
  ProgressPrinter(std::FILE *out, bool terminal) : out_(out), terminal_(terminal) {}

  void Caption(const QString &caption);
  void Show(const ProgressState &progress);
  // Ends a line drawn in place, before anything else is printed.
  void Break();

 private:
  std::FILE *out_;
  bool terminal_;
  QString caption_;
  int shown_ = -1;  // percent on a terminal, tenth otherwise
  bool lineOpen_ = false;
};
