#pragma once
// The demo without a display: the simulated technician answers every window,
// the terminal follows the upload, screenshots go to the output directory.

#include "DemoOptions.h"
#include "ExampleFiles.h"

class MainWindow;
namespace sim {
class SimulatedController;
}

// Runs one upload to its end; returns the process exit code: 0 when the
// success message was shown and the controller holds what the files say.
int RunUnattended(MainWindow &window, sim::SimulatedController &controller, const ExampleFiles &files,
                  const DemoOptions &options);
