#pragma once
// Ctrl-C, SIGTERM and SIGHUP (a dropped SSH session) during an upload, and on
// Windows the console's close, a logoff and a shutdown: the handler only notes
// the signal; the terminal host ends the upload at its
// next call from the driver, as an interruption, so the port, its lock and
// the trace are let go of on the way out. A second signal ends the process.

#include <QByteArray>
#include <QString>

#include <cstdio>

// On Windows the console's events: Ctrl+C and Ctrl+Break as SIGINT and
// SIGBREAK; the console's close, a logoff and a shutdown, which Windows ends
// the process after, wait until the process exits (the upload has let go of
// the port and written its journal line by then), at most this long.
void CatchStopSignals();
constexpr int StopByConsoleClose = 1001;
constexpr int StopByLogoff = 1002;
constexpr int StopByShutdown = 1003;
constexpr unsigned long ConsoleEventGraceMs = 4500;
#ifdef _WIN32
// What the console's handler does with `event` (CTRL_CLOSE_EVENT, ...): TRUE
// when taken; for the three that end the process, it returns once the
// process exits or the grace time is up.
int HandleConsoleEvent(unsigned long event);
// What the process says on its way out (CatchStopSignals has it said at exit).
void StopHandled();
#endif

// The signal that asked to stop, or 0.
int StopSignal();

// Reads a line from `in` (the line end stripped); false at the end of the
// input or once a stop signal came, before or while it waits, so that a
// signal between a prompt and its read is never lost.
bool ReadLineUnlessStopped(std::FILE *in, QByteArray &line);

// "SIGINT (Ctrl-C)", "SIGTERM", "SIGHUP", "the console's close"
QString StopSignalName(int signal);
