#include "LowLatency.h"

#include <QSerialPort>
#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

#ifdef Q_OS_LINUX

std::optional<int> RequestLowLatency(QSerialPort &port) {
  const int handle = int(port.handle());
  serial_struct serial{};
  if (handle < 0 || ::ioctl(handle, TIOCGSERIAL, &serial) != 0) return std::nullopt;
  if (serial.flags & ASYNC_LOW_LATENCY) return std::nullopt;
  const int before = serial.flags;
  serial.flags |= ASYNC_LOW_LATENCY;
  if (::ioctl(handle, TIOCSSERIAL, &serial) != 0) return std::nullopt;
  return before;
}

void RestoreLowLatency(QSerialPort &port, int flagsBefore) {
  const int handle = int(port.handle());
  serial_struct serial{};
  if (handle < 0 || ::ioctl(handle, TIOCGSERIAL, &serial) != 0) return;
  const int flags = RestoredSerialFlags(flagsBefore, serial.flags);
  if (flags == serial.flags) return;
  serial.flags = flags;
  ::ioctl(handle, TIOCSSERIAL, &serial);
}

int RestoredSerialFlags(int flagsBefore, int flagsNow) {
  return (flagsNow & ~ASYNC_LOW_LATENCY) | (flagsBefore & ASYNC_LOW_LATENCY);
}

#else

std::optional<int> RequestLowLatency(QSerialPort &) { return std::nullopt; }
void RestoreLowLatency(QSerialPort &, int) {}
int RestoredSerialFlags(int, int flagsNow) { return flagsNow; }

#endif
