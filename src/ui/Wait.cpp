#include "Wait.h"

#include <QElapsedTimer>
#include <QThread>

void Wait(double seconds) {
  if (!(seconds > 0)) return;
  const qint64 total = static_cast<qint64>(seconds * 1e9);
  QElapsedTimer clock;  // monotonic where the platform has one
  clock.start();
  // A sleep may end early (signals); keep sleeping for what is left.
  for (qint64 left = total - clock.nsecsElapsed(); left > 0; left = total - clock.nsecsElapsed())
    QThread::usleep(static_cast<unsigned long>((left + 999) / 1000));
}
