#pragma once
// The status frame as whatever shows an upload offers it: the main window in
// the program, a recorder in the tests, a printer on a terminal. The steps
// reach it through StepProgress; what they read and send comes to them as
// values, and they return how they ended (FailureRecord.h).

#include <QString>
#include <QtGlobal>

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
