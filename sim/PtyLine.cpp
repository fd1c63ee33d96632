// The controller on the master side of a pseudo-terminal, one thread. The
// slave descriptor stays open here, so the tool may close and reopen the port
// at will.

#include "ControllerLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace sim {

namespace {

// The controller keeps time like hardware: wake precisely and run before busy
// neighbours (compilers, the tool's own thread) when the system allows it,
// so that a paced reply has no gaps a real line would not have. Refusals only
// cost precision. The thread never spins: every path sleeps in ppoll.
void KeepTimeLikeHardware() {
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  sched_param param{};
  param.sched_priority = 1;
  if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) != 0)
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), -10);
}

void CloseFd(int &fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

QString SystemError(const char *what) {
  return QStringLiteral("%1 failed: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

class PtyLine : public ControllerLine {
 public:
  using ControllerLine::ControllerLine;
  ~PtyLine() override {
    Stop();
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
  }

  bool Start(QString *error, QString *path) override {
    if (!Open(error, path)) return false;
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  void Stop() override {
    stop_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    CloseFd(master_);
    CloseFd(slave_);
    finished_ = true;
  }
  void Wake() override {
    if (wake_[1] >= 0) {
      const char c = 1;
      [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    }
  }

 private:
  bool Open(QString *error, QString *path);
  void Run();
  void Read();
  Written Write(const char *data, qint64 count);

  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};

  // Thread-owned.
  bool blocked_ = false;              // the last write could not place everything
  Clock::time_point backOffUntil_{};  // after EIO/hang-up on the master
};

bool PtyLine::Open(QString *error, QString *path) {
  struct termios raw;
  std::memset(&raw, 0, sizeof raw);
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  char name[256] = {0};
  if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    if (error) *error = SystemError("openpty");
    return false;
  }
  ::tcsetattr(master_, TCSANOW, &raw);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
    if (error) *error = SystemError("pipe");
    CloseFd(master_);
    CloseFd(slave_);
    return false;
  }
  *path = QString::fromLocal8Bit(name);
  return true;
}

void PtyLine::Run() {
  KeepTimeLikeHardware();
  BeginSchedule();
  while (!stop_ && master_ >= 0) {
    DropOutputOfEarlierPower();
    Clock::time_point now = Clock::now();
    const bool listen = now >= backOffUntil_;  // after EIO/hang-up: neither read nor write for a while
    const Due pending = DueAt(now);
    const bool due = listen && pending.Count > 0;
    const std::optional<Clock::time_point> nextDue = pending.Count > 0 ? std::nullopt : pending.Next;

    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {listen ? master_ : -1, 0, 0}};
    if (listen) fds[1].events |= POLLIN;
    if (due && blocked_) fds[1].events |= POLLOUT;

    Clock::duration timeout = std::chrono::milliseconds(250);
    if (due && !blocked_)
      timeout = Clock::duration::zero();
    else if (nextDue)
      timeout = std::min(timeout, *nextDue - now);
    if (!listen) timeout = std::min(timeout, backOffUntil_ - now);
    if (timeout < Clock::duration::zero()) timeout = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
    timespec ts{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    if (::ppoll(fds, 2, &ts, nullptr) < 0 && errno != EINTR) break;

    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    if (stop_) break;
    if (fds[1].revents & POLLIN)
      Read();
    else if (fds[1].revents & (POLLHUP | POLLERR))
      backOffUntil_ = Clock::now() + std::chrono::milliseconds(20);
    if (fds[1].revents & POLLOUT) blocked_ = false;
    if (master_ >= 0 && !blocked_ && Clock::now() >= backOffUntil_)
      WriteDue([this](const char *data, qint64 count) { return Write(data, count); });
  }
  finished_ = true;
}

void PtyLine::Read() {
  char buffer[4096];
  const ssize_t n = ::read(master_, buffer, sizeof buffer);
  if (n > 0) {
    blocked_ = false;  // an endless stream it ends frees the line
    if (!Accept(buffer, n)) {  // the fault asks to hang up
      CloseFd(master_);
      CloseFd(slave_);
    }
  } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
    backOffUntil_ = Clock::now() + std::chrono::milliseconds(20);
  }
}

ControllerLine::Written PtyLine::Write(const char *data, qint64 count) {
  const ssize_t n = ::write(master_, data, size_t(count));
  if (n >= 0) {
    if (n < count) blocked_ = true;
    return Written{n};
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    blocked_ = true;
    return Written{0, true};
  }
  if (errno != EINTR) backOffUntil_ = Clock::now() + std::chrono::milliseconds(20);
  return Written{0, false, true};
}

}  // namespace

std::unique_ptr<ControllerLine> MakePtyLine(SimulatedController &owner) { return std::make_unique<PtyLine>(owner); }

}  // namespace sim
