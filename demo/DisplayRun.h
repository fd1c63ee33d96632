#pragma once
// The demo on screen: the uploader's window and the simulator panel; the
// human presses "Start Upload" and answers every window.

#include "ExampleFiles.h"

class QApplication;
class MainWindow;
namespace sim {
class SimulatedController;
}

// Runs until the uploader's window is closed; returns the exit code.
int RunWithDisplay(QApplication &app, MainWindow &window, sim::SimulatedController &controller,
                   const ExampleFiles &files);
