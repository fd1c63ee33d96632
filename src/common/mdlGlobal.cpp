#include "mdlGlobal.h"

qint16 ErrorFlag = 0;

std::array<IdWindow, IdWindowCount> IdWindows;

const std::array<const char *, IdWindowCount> IdWindowLabels = {
    "VE (Win 310)",
    "Vref (Win 311)",
    "Controller P/N (Win 319)",
    "Pump P/N (Win 320)",
    "Pump Special Model (Win 321)",
    "Pump S/N (Win 322)",
    "Controller S/N (Win 323)",
    "Pump Modification Level (Win 324)",
    "Controller Modific. Level (Win 325)",
};

void FillIdWindows() {
  static const qint16 windows[IdWindowCount] = {310, 311, 319, 320, 321, 322, 323, 324, 325};
  for (int i = 0; i < IdWindowCount; ++i) {
    IdWindows[i].Win = windows[i];
    IdWindows[i].DataType = i < 2 ? "N" : "A";
  }
}
