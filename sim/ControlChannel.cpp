#include "ControlChannel.h"

#include <optional>

namespace sim {

namespace {

// "unplug MS": the time the line stays away, 0 to an hour.
std::optional<int> UnplugMs(const QByteArray &command) {
  const QList<QByteArray> words = command.simplified().split(' ');
  if (words.size() != 2 || words[0] != "unplug") return std::nullopt;
  bool ok = false;
  const int ms = words[1].toInt(&ok);
  if (!ok || ms < 0 || ms > 3'600'000) return std::nullopt;
  return ms;
}

}  // namespace

bool RunControlCommand(SimulatedController &controller, const QByteArray &command, QString *error) {
  const auto cycle = [&](bool bridged) {
    controller.PowerOff();
    controller.SetBridge(bridged);
    controller.PowerOn();
  };
  if (command == "cycle") {
    controller.PowerOff();
    controller.PowerOn();
  } else if (command == "bridge-and-cycle") {
    cycle(true);
  } else if (command == "unbridge-and-cycle") {
    cycle(false);
  } else if (const std::optional<int> ms = UnplugMs(command)) {
    return controller.Unplug(*ms, error);
  } else if (command.startsWith("unplug")) {
    if (error) *error = QStringLiteral("unplug takes the milliseconds the line stays away, 0 to 3600000");
    return false;
  } else {
    if (error) *error = QStringLiteral("unknown command \"%1\"").arg(QString::fromLatin1(command));
    return false;
  }
  return true;
}

}  // namespace sim

// A local socket here; Windows has named pipes instead (ControlChannelWindows.cpp).
#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

bool SocketAddress(const QString &path, sockaddr_un &address, QString *error) {
  const QByteArray native = path.toLocal8Bit();
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (native.isEmpty() || size_t(native.size()) >= sizeof address.sun_path) {
    if (error) *error = QStringLiteral("socket path too long or empty: %1").arg(path);
    return false;
  }
  std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
  return true;
}

QString SystemError(const char *what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Reads up to a newline or the end; a request or an answer is one short line.
QByteArray ReadLine(int fd) {
  QByteArray line;
  char c = 0;
  while (line.size() < 256) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  return line;
}

// A peer that went away must not take the simulator with it (SIGPIPE).
void WriteAll(int socket, const QByteArray &bytes) {
  qint64 done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(socket, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += n;
  }
}

}  // namespace

ControlChannel::~ControlChannel() { Stop(); }

bool ControlChannel::Start(SimulatedController &controller, const QString &socketPath, QString *error) {
  Stop();
  sockaddr_un address;
  if (!SocketAddress(socketPath, address, error)) return false;
  listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
    if (error) *error = SystemError("socket");
    Stop();
    return false;
  }
  ::unlink(address.sun_path);
  if (::bind(listen_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listen_, 4) != 0) {
    if (error) *error = SystemError(address.sun_path);
    Stop();
    return false;
  }
  controller_ = &controller;
  path_ = socketPath;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void ControlChannel::Stop() {
  if (wake_[1] >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
  }
  if (thread_.joinable()) thread_.join();
  for (int *fd : {&listen_, &wake_[0], &wake_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  if (!path_.isEmpty()) ::unlink(path_.toLocal8Bit().constData());
  path_.clear();
}

void ControlChannel::Serve() {
  for (;;) {
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) continue;
    const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    QString error;
    const QByteArray command = ReadLine(client).trimmed();
    const bool done = RunControlCommand(*controller_, command, &error);
    WriteAll(client, done ? QByteArray("ok\n") : "error: " + error.toLocal8Bit() + "\n");
    ::close(client);
  }
}

bool SendControlCommand(const QString &socketPath, const QByteArray &command, QString *error) {
  sockaddr_un address;
  if (!SocketAddress(socketPath, address, error)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    if (error) *error = SystemError(address.sun_path);
    if (fd >= 0) ::close(fd);
    return false;
  }
  WriteAll(fd, command + "\n");
  const QByteArray answer = ReadLine(fd);
  ::close(fd);
  if (answer == "ok") return true;
  if (error) *error = answer.isEmpty() ? QStringLiteral("no answer") : QString::fromLocal8Bit(answer);
  return false;
}

}  // namespace sim

#endif
