#include "RecordingHost.h"

#include <QThread>

void RecordingHost::SetStepCaption(const QString &caption) {
  Caption = caption;
  Events << "caption " + caption;
}

void RecordingHost::SetProgressMin(int v) {
  Progress.SetMin(v);
  Events << QString("min %1").arg(v);
}

void RecordingHost::SetProgressMax(int v) {
  Progress.SetMax(v);
  Events << QString("max %1").arg(v);
}

void RecordingHost::SetProgressValue(int v) {
  Progress.SetValue(v);
  Events << QString("value %1").arg(Progress.Value);
}

void RecordingHost::Wait(double seconds) {
  Events << QString("wait %1").arg(seconds);
  WaitedSeconds += seconds;
  if (seconds > 0) QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
}

QStringList RecordingHost::EventsStartingWith(const QString &prefix) const {
  QStringList out;
  for (const QString &e : Events)
    if (e.startsWith(prefix)) out << e;
  return out;
}
