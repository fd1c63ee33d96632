#include "StopSignals.h"

#include <csignal>

#include <cstdlib>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t stopSignal = 0;

#ifndef Q_OS_WIN
pthread_t mainThread;
int wakeUp[2] = {-1, -1};  // written by the handler, polled beside the input
#endif

#ifndef Q_OS_WIN
void OnStopSignal(int signal) {
  // The system may hand a process signal to any thread (a sanitizer's or
  // Qt's); only the main thread's interrupted read ends a prompt's wait.
  if (!pthread_equal(pthread_self(), mainThread)) {
    pthread_kill(mainThread, signal);
    return;
  }
  if (stopSignal != 0) {
    // Asked twice: whatever the upload is waiting for, stop now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  stopSignal = signal;
  if (wakeUp[1] >= 0) (void)!::write(wakeUp[1], "s", 1);
}
#endif

}  // namespace

#ifdef Q_OS_WIN
namespace {

// Set once the upload has let go of the port and written its journal line.
HANDLE stopHandled = nullptr;

}  // namespace

void StopHandled() {
  if (stopHandled) ::SetEvent(stopHandled);
}

int HandleConsoleEvent(unsigned long event) {
  int code = 0;
  switch (event) {
    case CTRL_C_EVENT: code = SIGINT; break;
    case CTRL_BREAK_EVENT: code = SIGBREAK; break;
    case CTRL_CLOSE_EVENT: code = StopByConsoleClose; break;
    case CTRL_LOGOFF_EVENT: code = StopByLogoff; break;
    case CTRL_SHUTDOWN_EVENT: code = StopByShutdown; break;
    default: return FALSE;
  }
  const bool interactive = code == SIGINT || code == SIGBREAK;
  // Asked twice: the default handler ends the process at once.
  if (stopSignal != 0 && interactive) return FALSE;
  if (stopSignal == 0) stopSignal = code;
  // Windows ends the process as soon as this returns from a close, logoff or
  // shutdown (and after about five seconds in any case): first the upload
  // stops at its next safe point, lets go of the port and writes its line.
  if (!interactive && stopHandled) ::WaitForSingleObject(stopHandled, ConsoleEventGraceMs);
  return TRUE;
}

namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) { return HandleConsoleEvent(event); }

}  // namespace

// The console's events come on a thread of their own: Ctrl+C and Ctrl+Break
// are only noted; a close, a logoff or a shutdown wait for the upload to end.
void CatchStopSignals() {
  if (!stopHandled) {
    stopHandled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atexit(StopHandled);
  }
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
#else
void CatchStopSignals() {
  mainThread = pthread_self();
  if (::pipe(wakeUp) == 0)
    for (int fd : wakeUp) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  // Unbuffered, so that what poll() sees waiting is all there is.
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a prompt's read returns at once instead of waiting on.
  action.sa_flags = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}
#endif

int StopSignal() { return stopSignal; }

bool ReadLineUnlessStopped(std::FILE *in, QByteArray &line) {
#ifndef Q_OS_WIN
  if (wakeUp[0] >= 0) {
    pollfd watched[2] = {{::fileno(in), POLLIN, 0}, {wakeUp[0], POLLIN, 0}};
    while (stopSignal == 0 && ::poll(watched, 2, -1) < 0) {
    }
  }
#endif
  if (stopSignal != 0) return false;
  char buffer[512];
  if (!std::fgets(buffer, sizeof buffer, in)) return false;
  line = QByteArray(buffer);
  if (line.endsWith('\n')) line.chop(1);
  if (line.endsWith('\r')) line.chop(1);
  return true;
}

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
#ifdef SIGBREAK
    case SIGBREAK:
      return QStringLiteral("SIGBREAK (Ctrl-Break)");
#endif
    case StopByConsoleClose:
      return QStringLiteral("the console's close");
    case StopByLogoff:
      return QStringLiteral("a logoff");
    case StopByShutdown:
      return QStringLiteral("a shutdown");
    default:
      return QStringLiteral("signal %1").arg(signal);
  }
}
