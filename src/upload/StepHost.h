#pragma once
// The narrow seam between the upload steps and whatever shows them: the main
// window in the program, a recorder in the tests, a printer in the demo.
// Each step records what went wrong in the upload's FailureRecord (whose flag
// it raises by the step's rule) and returns how it ended; the driver decides
// what follows.

#include <QString>
#include <QtGlobal>

class SerialPort;

class StepHost {
 public:
  virtual ~StepHost() = default;

  virtual SerialPort &Port() = 0;
  virtual bool CheckErrors() const = 0;
  virtual QString ParameterFile() const = 0;
  virtual QString ProgramFile() const = 0;

  virtual void SetStepCaption(const QString &caption) = 0;
  virtual void SetProgressMin(int v) = 0;
  virtual void SetProgressMax(int v) = 0;
  virtual void SetProgressValue(int v) = 0;  // clamped to Min..Max
  virtual int ProgressValue() const = 0;
  virtual void Repaint() = 0;  // at once, so a caption shows before a long wait

  // Fixed pause; handles no events while it lasts.
  virtual void Wait(double seconds) = 0;
};
