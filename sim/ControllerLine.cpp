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

int ControllerLine::Chunk::LostRun(int count) const {
  int n = 0;
  while (n < count && Offset + n < Lost.size() && Lost[Offset + n]) ++n;
  return n;
}

int ControllerLine::Chunk::PassingRun(int count) const {
  int n = 0;
  while (n < count && !(Offset + n < Lost.size() && Lost[Offset + n])) ++n;
  return n;
}

void ControllerLine::BeginSchedule() { lastByteEnd_ = inputFree_ = lineStart_ = Clock::now(); }

// Output of a controller that has since been switched off is never sent.
void ControllerLine::DropOutputOfEarlierPower() {
  const quint64 generation = owner_.powerGeneration_;
  while (!queue_.empty() && queue_.front().Generation != generation) queue_.pop_front();
  while (!queue_.empty() && queue_.back().Generation != generation) queue_.pop_back();
}

// A fault that cuts the line cuts it after its byte: what came in with that
// byte afterwards is never heard.
bool ControllerLine::Accept(const char *data, qint64 size) {
  const Clock::time_point now = Clock::now();
  const bool paced = owner_.paced_;
  bool hangUp = false;
  std::optional<int> unplugMs;
  std::vector<Output> outputs;
  quint64 generation = 0;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    generation = owner_.powerGeneration_;
    const qint64 limit = owner_.model_.CurrentFaults().HangUpAfterBytesReceived;
    const qint64 sinceFaults = owner_.wireIn_ - owner_.wireInAtFaults_;
    if (limit > 0 && sinceFaults + size >= limit) {
      size = std::max<qint64>(0, limit - sinceFaults);
      hangUp = true;
    }
    const qint64 unplugAt = owner_.unplugAtWireIn_;
    if (unplugAt >= 0 && owner_.wireIn_ + size >= unplugAt) {
      size = std::max<qint64>(0, unplugAt - owner_.wireIn_);
      hangUp = false;
      unplugMs = owner_.unplugAfterMs_;
      owner_.unplugAtWireIn_ = -1;
    }
    outputs = owner_.HearLocked(data, size);
  }
  if (unplugMs) owner_.ScheduleReplug(*unplugMs);
  if (hangUp) owner_.DropLink();
  if (hangUp || unplugMs) return false;

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
    Chunk chunk;
    chunk.Bytes = output.Bytes;
    chunk.Ready = base;
    chunk.Paced = paced;
    chunk.Interruptible = output.Interruptible;
    chunk.Generation = generation;
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

// Draws for the bytes up to `upTo` that have not met the noise yet.
void ControllerLine::DrawNoise(Chunk &chunk, int upTo) {
  if (chunk.Wire.isEmpty() && !owner_.noisy_) return;
  std::lock_guard<std::mutex> lock(owner_.mutex_);
  NoiseStream &noise = owner_.toTool_;
  if (chunk.Wire.isEmpty() && noise.Clean()) return;
  if (chunk.Wire.isEmpty()) {
    chunk.Wire = chunk.Bytes;
    chunk.Lost = QByteArray(chunk.Bytes.size(), 0);
    chunk.Drawn = chunk.Offset;
  }
  for (; chunk.Drawn < upTo; ++chunk.Drawn) {
    const std::optional<NoiseEvent> event = noise.Draw(quint8(chunk.Bytes[chunk.Drawn]));
    if (!event) continue;
    if (event->What == NoiseEvent::Lost)
      chunk.Lost[chunk.Drawn] = 1;
    else
      chunk.Wire[chunk.Drawn] = char(event->After);
  }
}

// The records name each event by the byte's place in Sent(), which it takes
// only now, as it goes onto the line.
void ControllerLine::RecordWritten(Chunk &chunk, qint64 count, Clock::time_point now) {
  owner_.bytesSent_ += count;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    const QByteArray sent = chunk.Bytes.mid(chunk.Offset, int(count));
    owner_.sent_ += sent;
    if (chunk.Wire.isEmpty()) {
      owner_.delivered_ += sent;
      owner_.sentIndex_ += count;
    } else {
      for (int i = chunk.Offset; i < chunk.Offset + count; ++i) {
        const qint64 index = owner_.sentIndex_++;
        const quint8 before = quint8(chunk.Bytes[i]);
        if (chunk.Lost[i]) {
          owner_.noiseEvents_ << NoiseEvent{NoiseEvent::ToTool, NoiseEvent::Lost, index, before, before};
          continue;
        }
        owner_.delivered_ += chunk.Wire[i];
        if (chunk.Wire[i] != chunk.Bytes[i])
          owner_.noiseEvents_ << NoiseEvent{NoiseEvent::ToTool, NoiseEvent::Flipped, index, before, quint8(chunk.Wire[i])};
      }
    }
  }
  chunk.Offset += int(count);
  lastByteEnd_ = chunk.Paced ? chunk.Ready + CharacterTimes(chunk.Offset) : now;
}

#ifdef _WIN32
// Windows has no pseudo-terminals: the controller serves a port or nothing.
std::unique_ptr<ControllerLine> MakePtyLine(SimulatedController &) { return nullptr; }
#endif

}  // namespace sim
