#include "ReceiveWait.h"

#include "SerialPort.h"

#include <QEventLoop>
#include <QTimer>

#ifdef Q_OS_WIN
#include <QCoreApplication>

#include <windows.h>
#endif

namespace {

// Sleeps in the event loop until new input, a port error or `timeoutNs`.
// Returns true when input (or an error) woke it, false on the timer.
bool SleepUntilInput(SerialPort &port, qint64 timeoutNs) {
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  bool woken = false;
  auto wake = [&] {
    woken = true;
    loop.quit();
  };
  QObject::connect(&port.Device(), &QSerialPort::readyRead, &loop, wake);
  QObject::connect(&port.Device(), &QSerialPort::errorOccurred, &loop, wake);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  const qint64 ms = (timeoutNs + 999'999) / 1'000'000;  // never wake before the deadline
  timer.start(static_cast<int>(ms));
  loop.exec();
  return woken;
}

// Takes in input that came while this thread was busy. True when there was
// some, so the line is not quiet yet.
bool LateInput(SerialPort &port) {
#ifdef Q_OS_WIN
  // Qt reads a Windows port with overlapped I/O whose completions reach this
  // thread as posted events; its waitForReadyRead(0) can dispatch a completion
  // that is not there yet and crash. Serve those events instead, and ask the
  // driver for bytes that no read has taken yet (the next sleep waits for them).
  const qint64 before = port.BytesWaiting();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
  if (port.BytesWaiting() > before) return true;
  COMSTAT status{};
  DWORD errors = 0;
  return ::ClearCommError(port.Device().handle(), &errors, &status) && status.cbInQue > 0;
#else
  return port.Device().waitForReadyRead(0);
#endif
}

qint64 RemainingNs(const QElapsedTimer &start, qint64 limitMs) {
  return limitMs * 1'000'000 - start.nsecsElapsed();
}

}  // namespace

void TakeInLateInput(SerialPort &port) {
  if (port.IsOpen() && !port.Ended()) LateInput(port);
}

void WaitForBytes(SerialPort &port, qint64 count, const QElapsedTimer &start, qint64 limitMs, ReplyGaps gaps) {
  qint64 seen = port.BytesWaiting();
  qint64 lastArrivalNs = LineClockNs();
  while (seen < count && !port.Ended()) {
    const qint64 remaining = RemainingNs(start, limitMs);
    if (remaining <= 0) return;
    SleepUntilInput(port, remaining);
    const qint64 now = port.BytesWaiting();
    if (now <= seen) continue;
    const qint64 at = LineClockNs();
    if (seen > 0 && gaps == ReplyGaps::Learn) NoteArrivalGap(port.Timing(), at - lastArrivalNs);
    seen = now;
    lastArrivalNs = at;
  }
  if (port.Lost()) port.TryComeback();
}

void WaitForQuiet(SerialPort &port, qint64 quietNs, const QElapsedTimer &start, qint64 limitMs) {
  const qint64 began = start.nsecsElapsed();
  while (!port.Ended()) {
    const qint64 remaining = RemainingNs(start, limitMs);
    if (remaining <= 0) break;
    if (SleepUntilInput(port, qMin(quietNs, remaining))) continue;
    // The timer can be served before input that came while this thread was
    // busy: take in what the driver holds before calling the line quiet.
    if (!LateInput(port)) break;
  }
  port.Timing().SettledNs += start.nsecsElapsed() - began;
  if (port.Lost()) port.TryComeback();
}
