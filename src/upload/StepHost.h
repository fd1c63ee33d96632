#pragma once
// The narrow seam between the upload steps and whatever shows them: the main
// window in the program, a recorder in the tests, a printer in the demo.
// Each step records what went wrong in the upload's FailureRecord (whose flag
// it raises by the step's rule) and returns how it ended; the driver decides
// what follows.

#include <QString>
#include <QtGlobal>

class SerialPort;

// Where an upload stands: each step shows one caption, and a host that needs
// to know how far an upload got asks the step, never the caption's text.
enum class Step {
  StoringParameters,
  ClearingFlash,
  ClearingEeprom,
  EnteringProgramming,
  SendingProgram,
  EnteringMonitor,
  SendingCrc,
  SendingParameters,
  VerifyingParameters,
  Identifying,
};

// The caption the status frame shows for `step`.
QString StepCaption(Step step);

class StepHost {
 public:
  virtual ~StepHost() = default;

  virtual SerialPort &Port() = 0;
  virtual bool CheckErrors() const = 0;
  virtual QString ParameterFile() const = 0;
  virtual QString ProgramFile() const = 0;

  // The step begins: its caption is shown at once.
  virtual void SetStep(Step step) = 0;
  virtual void SetProgressMin(int v) = 0;
  virtual void SetProgressMax(int v) = 0;
  virtual void SetProgressValue(int v) = 0;  // clamped to Min..Max
  virtual int ProgressValue() const = 0;
  virtual void Repaint() = 0;  // at once, so a caption shows before a long wait

  // Fixed pause; handles no events while it lasts.
  virtual void Wait(double seconds) = 0;
};
