#pragma once
// The technician's hands over a local socket, so that an upload driven from a
// script (a bench whose relays switch power and bridge) can run against the
// simulator unattended:
//   calvenori-sim --control SOCKET            (serves)
//   calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle|unplug MS
// One request per connection: a command line in, "ok" or "error: why" back.
// On Windows SOCKET names a named pipe (\\.\pipe\SOCKET, or given whole).

#include "SimulatedController.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

namespace sim {

// Acts on the controller; false with the reason for a command it does not know.
bool RunControlCommand(SimulatedController &controller, const QByteArray &command, QString *error);

class ControlChannel {
 public:
  ~ControlChannel();  // stops serving and removes the socket

  // Binds SOCKET (replacing a stale one) and serves on a thread of its own.
  bool Start(SimulatedController &controller, const QString &socketPath, QString *error);
  void Stop();

 private:
  void Serve();

  SimulatedController *controller_ = nullptr;
  QString path_;
#ifdef _WIN32
  void *pipe_ = nullptr;  // the pipe's one instance
  std::atomic<bool> stop_{false};
#else
  int listen_ = -1;
  int wake_[2] = {-1, -1};
#endif
  std::thread thread_;
};

// The client: sends one command and waits for the answer. True for "ok".
bool SendControlCommand(const QString &socketPath, const QByteArray &command, QString *error);

}  // namespace sim
