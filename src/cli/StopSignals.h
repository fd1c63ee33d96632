#pragma once
// Ctrl-C, SIGTERM and SIGHUP (a dropped SSH session) during an upload: the
// handler only notes the signal; the terminal host ends the upload at its
// next call from the driver, as an interruption, so the port, its lock and
// the trace are let go of on the way out. A second signal ends the process.

#include <QByteArray>
#include <QString>

#include <cstdio>

void CatchStopSignals();

// The signal that asked to stop, or 0.
int StopSignal();

// Reads a line from `in` (the line end stripped); false at the end of the
// input or once a stop signal came, before or while it waits, so that a
// signal between a prompt and its read is never lost.
bool ReadLineUnlessStopped(std::FILE *in, QByteArray &line);

// "SIGINT (Ctrl-C)", "SIGTERM", "SIGHUP"
QString StopSignalName(int signal);
