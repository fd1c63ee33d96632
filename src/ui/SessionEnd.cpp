#include "SessionEnd.h"

#include "MainWindow.h"

#include <QGuiApplication>
#include <QSessionManager>

#include <csignal>

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

#ifndef Q_OS_WIN
int wakeUp[2] = {-1, -1};  // the handler writes the signal's number, the window's thread reads it
volatile std::sig_atomic_t caught = 0;

void OnSignal(int signal) {
  if (caught != 0) {
    // Asked twice: end now, whatever the upload is doing.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  caught = signal;
  const char byte = char(signal);
  (void)!::write(wakeUp[1], &byte, 1);
}

void CatchSignals(MainWindow &window) {
  if (wakeUp[0] < 0 && ::pipe(wakeUp) != 0) return;
  for (int fd : wakeUp) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  auto *notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte = 0;
    if (::read(wakeUp[0], &byte, 1) == 1) window.EndSession(QString::fromLatin1(SessionSignalName(byte)));
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}
#endif

}  // namespace

const char *SessionSignalName(int signal) {
#ifndef Q_OS_WIN
  if (signal == SIGHUP) return "SIGHUP";
#endif
  if (signal == SIGTERM) return "SIGTERM";
  if (signal == SIGINT) return "SIGINT";
  return "a signal";
}

void EndSessionOnSignals(MainWindow &window) {
#ifndef Q_OS_WIN
  CatchSignals(window);
#endif
#if QT_CONFIG(sessionmanager)
  // The session manager asks before it ends the session: an upload running
  // asks it to wait (where it lets us), and is stopped safely meanwhile.
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager &manager) {
    if (!window.Busy()) return;
    if (manager.allowsInteraction()) manager.cancel();
    window.EndSession(QStringLiteral("the end of the desktop session"));
  });
#endif
}
