#include "IdWindows.h"

IdBackup BlankBackup() {
  static const int windows[IdWindowCount] = {310, 311, 319, 320, 321, 322, 323, 324, 325};
  IdBackup rows;
  for (int i = 0; i < IdWindowCount; ++i) {
    rows[i].Win = windows[i];
    rows[i].DataType = i < 2 ? "N" : "A";
  }
  return rows;
}
