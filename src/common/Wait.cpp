#include "Wait.h"

#include <QElapsedTimer>
#include <QThread>

qint64 PauseNs(double seconds) { return seconds > 0 ? static_cast<qint64>(seconds * 1e9) : 0; }

void Wait(double seconds) {
  const qint64 total = PauseNs(seconds);
  QElapsedTimer clock;  // monotonic where the platform has one
  clock.start();
  // A sleep may end early (signals); keep sleeping for what is left.
  for (qint64 left = total - clock.nsecsElapsed(); left > 0; left = total - clock.nsecsElapsed())
    QThread::usleep(static_cast<unsigned long>((left + 999) / 1000));
}
