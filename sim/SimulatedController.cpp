// The pty and the thread behind SimulatedController.

#include "SimulatedController.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// One character on a 9600 8N1 line: start bit, eight data bits, stop bit.
std::chrono::nanoseconds CharacterTimes(qint64 count) {
  return std::chrono::nanoseconds(count * 10'000'000'000LL / 9600);
}

// Whole characters a paced line has finished sending `elapsed` after it started.
qint64 CharactersWithin(Clock::duration elapsed) {
  if (elapsed <= Clock::duration::zero()) return 0;
  qint64 count = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() * 9600 / 10'000'000'000LL;
  if (CharacterTimes(count + 1) <= elapsed) ++count;  // same rounding as CharacterTimes
  return count;
}

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

}  // namespace

// ---------------------------------------------------------------------------
// The line: master side of the pty, one thread.

class SimulatedController::Line {
 public:
  explicit Line(SimulatedController &owner) : owner_(owner) {}
  ~Line() {
    Stop();
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
  }

  bool Open(QString *error, QString *path);
  void Begin() { thread_ = std::thread([this] { Run(); }); }
  void Stop() {
    stop_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    CloseFd(master_);
    CloseFd(slave_);
    finished_ = true;
  }
  void DropPending() { Wake(); }
  void Reschedule() { Wake(); }
  bool Alive() const { return !finished_; }

 private:
  // A piece of output: its bytes go out from `ready` on (paced: the i-th byte
  // is complete at ready + (i + 1) character times).
  struct Chunk {
    QByteArray Bytes;
    int Offset = 0;
    Clock::time_point Ready;
    bool Paced = false;
    bool Interruptible = false;
    quint64 Generation = 0;  // power generation that produced it
    Clock::time_point End() const { return Paced ? Ready + CharacterTimes(Bytes.size()) : Ready; }
    // When byte i is complete on the wire.
    Clock::time_point Complete(int i) const { return Paced ? Ready + CharacterTimes(i + 1) : Ready; }
  };

  // How many queued bytes the tool may have at `now`, and when the next may go.
  struct Due {
    qint64 Count = 0;
    std::optional<Clock::time_point> Next;
  };
  Due DueAt(Clock::time_point now) const;
  Due DueThroughDelivery(Clock::time_point now, const LineDelivery &delivery) const;

  void Run();
  bool HandleInput(const char *data, qint64 size);  // false: hang up
  void WriteDue();
  void Wake() {
    if (wake_[1] >= 0) {
      const char c = 1;
      [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    }
  }

  SimulatedController &owner_;
  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};

  // Thread-owned.
  std::deque<Chunk> queue_;
  Clock::time_point lineStart_{};     // the USB converter's timer runs from here
  Clock::time_point lastByteEnd_{};   // when the last written byte was complete
  Clock::time_point inputFree_{};     // paced: when the tool's last byte has fully arrived
  bool blocked_ = false;              // the last write could not place everything
  Clock::time_point backOffUntil_{};  // after EIO/hang-up on the master
};

bool SimulatedController::Line::Open(QString *error, QString *path) {
  struct termios raw;
  std::memset(&raw, 0, sizeof raw);
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  char name[256] = {0};
  if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    if (error) *error = QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  ::tcsetattr(master_, TCSANOW, &raw);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
    if (error) *error = QStringLiteral("pipe failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    CloseFd(master_);
    CloseFd(slave_);
    return false;
  }
  *path = QString::fromLocal8Bit(name);
  return true;
}

void SimulatedController::Line::Run() {
  KeepTimeLikeHardware();

  char buffer[4096];
  lastByteEnd_ = inputFree_ = lineStart_ = Clock::now();
  while (!stop_) {
    // Output of a controller that has since been switched off is never sent.
    const quint64 generation = owner_.powerGeneration_;
    while (!queue_.empty() && queue_.front().Generation != generation) queue_.pop_front();
    while (!queue_.empty() && queue_.back().Generation != generation) queue_.pop_back();

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

    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) {
        if (!HandleInput(buffer, n)) {  // the fault asks to hang up
          CloseFd(master_);
          CloseFd(slave_);
          finished_ = true;
          return;
        }
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        backOffUntil_ = Clock::now() + std::chrono::milliseconds(20);
      }
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      backOffUntil_ = Clock::now() + std::chrono::milliseconds(20);
    }
    if (fds[1].revents & POLLOUT) blocked_ = false;

    if (Clock::now() >= backOffUntil_) WriteDue();
  }
}

bool SimulatedController::Line::HandleInput(const char *data, qint64 size) {
  const Clock::time_point now = Clock::now();
  const bool paced = owner_.paced_;
  bool hangUp = false;
  std::vector<Output> outputs;
  quint64 generation = 0;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    generation = owner_.powerGeneration_;
    ControllerModel &model = owner_.model_;
    const qint64 limit = model.CurrentFaults().HangUpAfterBytesReceived;
    if (limit > 0 && model.BytesReceivedSinceFaults() + size >= limit) {
      size = std::max<qint64>(0, limit - model.BytesReceivedSinceFaults());
      hangUp = true;
    }
    outputs = model.Feed(QByteArray(data, int(size)));
  }
  if (hangUp) return false;

  // Anything from the tool ends an endless stream.
  bool dropped = false;
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (it->Interruptible) {
      it = queue_.erase(it);
      dropped = true;
    } else {
      ++it;
    }
  }
  if (dropped) blocked_ = false;

  // The controller reacts once the request has fully arrived; on a paced line
  // that is one character time per byte after the previous byte.
  Clock::time_point arrived = now;
  if (paced) {
    inputFree_ = std::max(inputFree_, now) + CharacterTimes(size);
    arrived = inputFree_;
  }
  Clock::time_point base = std::max(arrived, queue_.empty() ? lastByteEnd_ : queue_.back().End());
  for (const Output &output : outputs) {
    base += std::chrono::milliseconds(output.DelayMs);
    owner_.addedDelayMs_ += output.DelayMs;
    if (output.Bytes.isEmpty()) continue;
    Chunk chunk{output.Bytes, 0, base, paced, output.Interruptible, generation};
    base = chunk.End();
    queue_.push_back(chunk);
  }
  return true;
}

SimulatedController::Line::Due SimulatedController::Line::DueAt(Clock::time_point now) const {
  const LineDelivery delivery{DeliveryKind(owner_.deliveryKind_.load()), owner_.latencyMs_.load()};
  if (delivery.Kind != DeliveryKind::Even) return DueThroughDelivery(now, delivery);
  Due due;
  for (const Chunk &c : queue_) {
    qint64 upTo = c.Bytes.size();
    if (c.Ready > now)
      upTo = 0;
    else if (c.Paced)
      upTo = std::min<qint64>(upTo, CharactersWithin(now - c.Ready));
    due.Count += std::max<qint64>(0, upTo - c.Offset);
    if (upTo < c.Bytes.size()) {
      due.Next = c.Complete(int(std::max<qint64>(upTo, c.Offset)));
      break;
    }
  }
  return due;
}

SimulatedController::Line::Due SimulatedController::Line::DueThroughDelivery(Clock::time_point now,
                                                                           const LineDelivery &delivery) const {
  std::vector<qint64> complete;
  for (const Chunk &c : queue_)
    for (int i = c.Offset; i < c.Bytes.size(); ++i)
      complete.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(c.Complete(i) - lineStart_).count());
  const std::vector<qint64> at = DeliveryTimes(complete, delivery);
  const qint64 nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now - lineStart_).count();
  Due due;
  while (due.Count < qint64(at.size()) && at[size_t(due.Count)] <= nowNs) ++due.Count;
  if (due.Count < qint64(at.size())) due.Next = lineStart_ + std::chrono::nanoseconds(at[size_t(due.Count)]);
  return due;
}

void SimulatedController::Line::WriteDue() {
  qint64 left = DueAt(Clock::now()).Count;
  while (!queue_.empty() && !blocked_ && left > 0) {
    Chunk &c = queue_.front();
    const Clock::time_point now = Clock::now();
    const qint64 count = std::min<qint64>(left, c.Bytes.size() - c.Offset);

    const ssize_t n = ::write(master_, c.Bytes.constData() + c.Offset, size_t(count));
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        blocked_ = true;
      else if (errno != EINTR)
        backOffUntil_ = now + std::chrono::milliseconds(20);
      return;
    }
    owner_.bytesSent_ += n;
    left -= n;
    owner_.RecordSent(c.Bytes.mid(c.Offset, int(n)));
    c.Offset += int(n);
    lastByteEnd_ = c.Paced ? c.Ready + CharacterTimes(c.Offset) : now;
    if (c.Offset == c.Bytes.size())
      queue_.pop_front();
    else if (n < count)
      blocked_ = true;
  }
}

// ---------------------------------------------------------------------------
// SimulatedController

SimulatedController::SimulatedController(Dialect dialect) : model_(dialect) {}

SimulatedController::~SimulatedController() { StopLine(); }

bool SimulatedController::Start(QString *error) {
  if (line_ && line_->Alive()) return true;
  StopLine();
  auto line = std::make_unique<Line>(*this);
  QString path;
  if (!line->Open(error, &path)) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slavePath_ = path;
  }
  line_ = std::move(line);
  line_->Begin();
  return true;
}

void SimulatedController::StopLine() {
  if (line_) line_->Stop();
  line_.reset();
}

QString SimulatedController::SlavePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slavePath_;
}

bool SimulatedController::Running() const { return line_ && line_->Alive(); }

void SimulatedController::HangUp() { StopLine(); }

void SimulatedController::SetPaced(bool paced) { paced_ = paced; }
bool SimulatedController::Paced() const { return paced_; }

void SimulatedController::SetDelivery(const LineDelivery &delivery) {
  latencyMs_ = qMax(1, delivery.LatencyMs);
  deliveryKind_ = int(delivery.Kind);
  if (line_) line_->Reschedule();
}

LineDelivery SimulatedController::Delivery() const {
  return LineDelivery{DeliveryKind(deliveryKind_.load()), latencyMs_.load()};
}

void SimulatedController::PowerOff() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.PowerOff();
    ++powerGeneration_;
  }
  if (line_) line_->DropPending();
}

void SimulatedController::PowerOn() {
  std::lock_guard<std::mutex> lock(mutex_);
  model_.PowerOn();
}

#define SIM_LOCKED(expr)                       \
  std::lock_guard<std::mutex> lock(mutex_); \
  expr

void SimulatedController::SetBridge(bool bridged) { SIM_LOCKED(model_.SetBridge(bridged)); }
bool SimulatedController::Bridged() const { SIM_LOCKED(return model_.Bridged()); }
Mode SimulatedController::CurrentMode() const { SIM_LOCKED(return model_.CurrentMode()); }
void SimulatedController::SetMode(Mode mode) { SIM_LOCKED(model_.SetMode(mode)); }
void SimulatedController::SetDialect(Dialect dialect) { SIM_LOCKED(model_.SetDialect(dialect)); }
Dialect SimulatedController::CurrentDialect() const { SIM_LOCKED(return model_.CurrentDialect()); }
void SimulatedController::SetProgrammed(bool programmed) { SIM_LOCKED(model_.SetProgrammed(programmed)); }
QByteArray SimulatedController::Received() const { SIM_LOCKED(return model_.Received()); }
void SimulatedController::ClearReceived() {
  SIM_LOCKED(model_.ClearRecords());
  sent_.clear();
}
QByteArray SimulatedController::Sent() const { SIM_LOCKED(return sent_); }
void SimulatedController::RecordSent(const QByteArray &bytes) { SIM_LOCKED(sent_ += bytes); }
QList<QByteArray> SimulatedController::MonitorCommands() const { SIM_LOCKED(return model_.MonitorCommands()); }
QList<QByteArray> SimulatedController::WindowRequests() const { SIM_LOCKED(return model_.WindowRequests()); }
std::map<quint32, quint8> SimulatedController::Flash() const { SIM_LOCKED(return model_.Flash()); }
std::map<quint16, quint8> SimulatedController::ParameterMemory() const {
  SIM_LOCKED(return model_.ParameterMemory());
}
void SimulatedController::SetParameterByte(quint16 address, quint8 value) {
  SIM_LOCKED(model_.SetParameterByte(address, value));
}
bool SimulatedController::ParameterSetPresent() const { SIM_LOCKED(return model_.ParameterSetPresent()); }
QByteArray SimulatedController::Window(int win) const { SIM_LOCKED(return model_.Window(win)); }
void SimulatedController::SetWindow(int win, const QByteArray &value) { SIM_LOCKED(model_.SetWindow(win, value)); }
bool SimulatedController::Locked() const { SIM_LOCKED(return model_.Locked()); }
std::optional<quint32> SimulatedController::LastCrc() const { SIM_LOCKED(return model_.LastCrc()); }
void SimulatedController::SetFaults(const Faults &faults) { SIM_LOCKED(model_.SetFaults(faults)); }
Faults SimulatedController::CurrentFaults() const { SIM_LOCKED(return model_.CurrentFaults()); }
void SimulatedController::SetPromptLength(int bytes) { SIM_LOCKED(model_.SetPromptLength(bytes)); }
qint64 SimulatedController::BytesReceived() const { SIM_LOCKED(return model_.BytesReceived()); }

#undef SIM_LOCKED

qint64 SimulatedController::BytesSent() const { return bytesSent_; }
qint64 SimulatedController::AddedDelayMs() const { return addedDelayMs_; }

}  // namespace sim
