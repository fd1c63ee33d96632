#pragma once
// Two pseudo-terminals joined as if by a null-modem cable (socat), each with
// a stable path: what a program that opens a serial port by name sees of a
// virtual pair such as com0com. Every byte written to one end is read at the
// other; either end may be closed and reopened.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class NullModemPair {
 public:
  NullModemPair();
  ~NullModemPair();
  bool Started() const { return started_; }
  QString Error() const { return error_; }
  QString End(int which) const { return dir_.filePath(which == 0 ? "end-a" : "end-b"); }
  void Cut();  // the pair's program goes: both ends see the line vanish

 private:
  QTemporaryDir dir_;
  QProcess socat_;
  bool started_ = false;
  QString error_;
};
