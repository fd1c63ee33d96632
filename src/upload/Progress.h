#pragma once
// The progress bar's Min, Max and Value as the steps see them. The value is
// never driven outside Min..Max: the platform's bar raised an error there.

struct ProgressState {
  int Min = 0;
  int Max = 100;
  int Value = 0;

  void SetMin(int v) {
    Min = v;
    if (Max < Min) Max = Min;
    Value = Clamp(Value);
  }
  void SetMax(int v) {
    Max = v;
    if (Min > Max) Min = Max;
    Value = Clamp(Value);
  }
  void SetValue(int v) { Value = Clamp(v); }

 private:
  int Clamp(int v) const { return v < Min ? Min : (v > Max ? Max : v); }
};
