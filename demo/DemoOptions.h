#pragma once
// The demo's command line, read before the QApplication exists because it
// decides the display platform.

#include "LineNoise.h"

#include <QString>

struct DemoOptions {
  bool Unattended = false;  // --unattended: offscreen even with a display
  bool Paced = true;        // --unpaced: the simulator answers at full speed
  bool FullMode = true;     // --mode full|parameters
  sim::LineNoise Noise;     // --noise RATE[:SEED]: a noisy line
  QString OutDir = QStringLiteral("demo-output");
  bool Help = false;
  QString Error;            // a bad argument; empty when all were understood
};

DemoOptions ParseDemoOptions(int argc, char **argv);
QString DemoUsage();

// True when a window system is there to show windows on.
bool HasDisplay();
