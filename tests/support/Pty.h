#pragma once
// A pseudo-terminal whose far end stays open for the test's life, so its
// device can be opened like a serial port.

#include <QString>
#include <QtGlobal>

#include <pty.h>
#include <unistd.h>

struct Pty {
  int master = -1;
  int slave = -1;
  QString path;

  Pty() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) qFatal("openpty failed");
    path = QString::fromLocal8Bit(name);
  }
  ~Pty() {
    ::close(slave);
    ::close(master);
  }
  Pty(const Pty &) = delete;
  Pty &operator=(const Pty &) = delete;
};
