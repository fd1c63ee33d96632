#include "StepProgress.h"

void StepProgress::Begin(Step step, std::initializer_list<Setting> settings) {
  for (const Setting &s : settings) {
    switch (s.What) {
      case Setting::Caption: host_.SetStep(step); break;
      case Setting::Repaint: host_.Repaint(); break;
      case Setting::Min: host_.SetProgressMin(s.Number); break;
      case Setting::Max: host_.SetProgressMax(s.Number); break;
      case Setting::Value: host_.SetProgressValue(s.Number); break;
    }
  }
}
