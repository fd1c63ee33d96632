#pragma once
// What a step shows of itself in the status frame: its caption and the
// progress bar's scale as it begins, set in the order its description gives
// them, then how far it is; and its fixed pauses. The host shows them its way.

#include "StepHost.h"

#include <initializer_list>

class StepProgress {
 public:
  // One setting of the status frame.
  struct Setting {
    enum Kind { Caption, Repaint, Min, Max, Value } What;
    int Number = 0;
  };

  explicit StepProgress(StepHost &host) : host_(host) {}

  // The step begins: the caption of `step` and the scale, in the order given.
  void Begin(Step step, std::initializer_list<Setting> settings);
  // A stage of the step under a caption of its own, on the same scale.
  void Caption(Step step) { host_.SetStep(step); }
  // The bar's value, kept within its scale.
  void Set(int value) { host_.SetProgressValue(value); }
  // One further than the bar shows (read back, as the description says).
  void Advance() { host_.SetProgressValue(host_.ProgressValue() + 1); }
  // A fixed pause, handling no events.
  void Wait(double seconds) { host_.Wait(seconds); }

 private:
  StepHost &host_;
};

// The settings by name: Begin(step, {Shown, Repainted, Maximum(9), Minimum(0), At(0)}).
inline constexpr StepProgress::Setting Shown{StepProgress::Setting::Caption};
inline constexpr StepProgress::Setting Repainted{StepProgress::Setting::Repaint};
constexpr StepProgress::Setting Minimum(int v) { return {StepProgress::Setting::Min, v}; }
constexpr StepProgress::Setting Maximum(int v) { return {StepProgress::Setting::Max, v}; }
constexpr StepProgress::Setting At(int v) { return {StepProgress::Setting::Value, v}; }
