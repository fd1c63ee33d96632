#pragma once
// A front end for the upload steps that records what they show, in order, so
// tests can check captions, progress order and pauses without a screen.

#include "Progress.h"
#include "SerialPort.h"
#include "StepHost.h"

#include <QStringList>

class RecordingHost : public StepHost {
 public:
  explicit RecordingHost(SerialPort &port) : port_(port) {}

  qint16 Check = 0;
  QString ParameterPath, ProgramPath;
  ProgressState Progress;
  QString Caption;
  QStringList Events;  // "caption X", "min 0", "max 5", "value 3", "wait 0.1", "repaint"
  double WaitedSeconds = 0;

  SerialPort &Port() override { return port_; }
  qint16 CheckErrors() const override { return Check; }
  QString ParameterFile() const override { return ParameterPath; }
  QString ProgramFile() const override { return ProgramPath; }
  void SetStepCaption(const QString &caption) override;
  void SetProgressMin(int v) override;
  void SetProgressMax(int v) override;
  void SetProgressValue(int v) override;
  int ProgressValue() const override { return Progress.Value; }
  void Repaint() override { Events << "repaint"; }
  void Wait(double seconds) override;

  QStringList EventsStartingWith(const QString &prefix) const;

 private:
  SerialPort &port_;
};
