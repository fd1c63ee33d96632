#include "ControllerLine.h"

#include <vector>

namespace sim {

namespace {

using Clock = ControllerLine::Clock;

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

}  // namespace

Clock::time_point ControllerLine::Chunk::End() const { return Paced ? Ready + CharacterTimes(Bytes.size()) : Ready; }

Clock::time_point ControllerLine::Chunk::Complete(int i) const { return Paced ? Ready + CharacterTimes(i + 1) : Ready; }

void ControllerLine::BeginSchedule() { lastByteEnd_ = inputFree_ = lineStart_ = Clock::now(); }

// Output of a controller that has since been switched off is never sent.
void ControllerLine::DropOutputOfEarlierPower() {
  const quint64 generation = owner_.powerGeneration_;
  while (!queue_.empty() && queue_.front().Generation != generation) queue_.pop_front();
  while (!queue_.empty() && queue_.back().Generation != generation) queue_.pop_back();
}

bool ControllerLine::Accept(const char *data, qint64 size) {
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
  for (auto it = queue_.begin(); it != queue_.end();) it = it->Interruptible ? queue_.erase(it) : it + 1;

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

ControllerLine::Due ControllerLine::DueAt(Clock::time_point now) const {
  const LineDelivery delivery = owner_.Delivery();
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

ControllerLine::Due ControllerLine::DueThroughDelivery(Clock::time_point now, const LineDelivery &delivery) const {
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

void ControllerLine::RecordWritten(Chunk &chunk, qint64 count, Clock::time_point now) {
  owner_.bytesSent_ += count;
  owner_.RecordSent(chunk.Bytes.mid(chunk.Offset, int(count)));
  chunk.Offset += int(count);
  lastByteEnd_ = chunk.Paced ? chunk.Ready + CharacterTimes(chunk.Offset) : now;
}

#ifdef _WIN32
// Windows has no pseudo-terminals: the controller serves a port or nothing.
std::unique_ptr<ControllerLine> MakePtyLine(SimulatedController &) { return nullptr; }
#endif

}  // namespace sim
