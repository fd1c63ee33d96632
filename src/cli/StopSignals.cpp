#include "StopSignals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
  if (stopSignal != 0) {
    // Asked twice: whatever the upload is waiting for, stop now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  stopSignal = signal;
}

}  // namespace

#ifdef Q_OS_WIN
void CatchStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}
#else
#include <signal.h>

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a prompt's read returns at once instead of waiting on.
  action.sa_flags = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}
#endif

int StopSignal() { return stopSignal; }

QString StopSignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return QStringLiteral("SIGINT (Ctrl-C)");
    case SIGTERM:
      return QStringLiteral("SIGTERM");
#ifdef SIGHUP
    case SIGHUP:
      return QStringLiteral("SIGHUP");
#endif
    default:
      return QStringLiteral("signal %1").arg(signal);
  }
}
