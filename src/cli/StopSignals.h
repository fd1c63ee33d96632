#pragma once
// Ctrl-C, SIGTERM and SIGHUP (a dropped SSH session) during an upload: the
// handler only notes the signal; the terminal host ends the upload at its
// next call from the driver, as an interruption, so the port, its lock and
// the trace are let go of on the way out. A second signal ends the process.

#include <QString>

void CatchStopSignals();

// The signal that asked to stop, or 0.
int StopSignal();

// "SIGINT (Ctrl-C)", "SIGTERM", "SIGHUP"
QString StopSignalName(int signal);
