#pragma once
// The line between the simulated controller and the tool: what the
// controller has to send, and when each byte may go. Two transports serve it
// from a thread of their own: a pseudo-terminal (PtyLine.cpp, Linux) and a
// serial port (DeviceLine.cpp: another adapter through a null-modem cable, or
// one end of a virtual null-modem pair; Linux and Windows).

#include "SimulatedController.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace sim {

class ControllerLine {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ControllerLine(SimulatedController &owner) : owner_(owner) {}
  virtual ~ControllerLine() = default;
  ControllerLine(const ControllerLine &) = delete;
  ControllerLine &operator=(const ControllerLine &) = delete;

  // Opens the transport and starts its thread; `path` is what the tool opens
  // (a pty's slave) or the port served.
  virtual bool Start(QString *error, QString *path) = 0;
  virtual void Stop() = 0;  // returns when the thread has ended
  // Something changed outside the thread (power, delivery model): look again.
  virtual void Wake() = 0;
  bool Alive() const { return !finished_; }

 protected:
  // A piece of output: its bytes go out from `Ready` on (paced: the i-th byte
  // is complete at Ready + (i + 1) character times).
  struct Chunk {
    QByteArray Bytes;
    int Offset = 0;
    Clock::time_point Ready;
    bool Paced = false;
    bool Interruptible = false;
    quint64 Generation = 0;  // power generation that produced it
    // On a noisy line, from the first draw on: the bytes as they go onto the
    // line, which of them are lost, and how many have been drawn for.
    QByteArray Wire;
    QByteArray Lost;
    int Drawn = 0;
    Clock::time_point End() const;
    Clock::time_point Complete(int i) const;  // when byte i is complete on the wire
    const char *Line() const { return (Wire.isEmpty() ? Bytes : Wire).constData(); }
    // From Offset on, within `count`: the lost bytes in a row, else the bytes
    // in a row that are not.
    int LostRun(int count) const;
    int PassingRun(int count) const;
  };

  // How many queued bytes the tool may have at `now`, and when the next may go.
  struct Due {
    qint64 Count = 0;
    std::optional<Clock::time_point> Next;
  };

  // What a transport's write did: bytes placed, or nothing for now, or failed.
  struct Written {
    qint64 Count = 0;
    bool Blocked = false;
    bool Failed = false;
  };

  // The schedule, used by the transport's thread only.
  void BeginSchedule();
  void DropOutputOfEarlierPower();
  bool Accept(const char *data, qint64 size);  // false: a fault hangs up or unplugs the line
  Due DueAt(Clock::time_point now) const;
  // Hands what is due to `write`; true when it took everything it was offered.
  template <typename Write>
  bool WriteDue(Write &&write);

  SimulatedController &owner_;
  std::atomic<bool> finished_{false};

 private:
  Due DueThroughDelivery(Clock::time_point now, const LineDelivery &delivery) const;
  void DrawNoise(Chunk &chunk, int upTo);
  void RecordWritten(Chunk &chunk, qint64 count, Clock::time_point now);

  std::deque<Chunk> queue_;
  Clock::time_point lineStart_{};    // the USB converter's timer runs from here
  Clock::time_point lastByteEnd_{};  // when the last written byte was complete
  Clock::time_point inputFree_{};    // paced: when the tool's last byte has fully arrived
};

// A lost byte takes its place in the schedule like any other, but nothing of
// it is handed to the transport.
template <typename Write>
bool ControllerLine::WriteDue(Write &&write) {
  qint64 left = DueAt(Clock::now()).Count;
  while (!queue_.empty() && left > 0) {
    Chunk &c = queue_.front();
    const int count = int(std::min<qint64>(left, c.Bytes.size() - c.Offset));
    DrawNoise(c, c.Offset + count);
    const int lost = c.LostRun(count);
    const int run = lost > 0 ? 0 : c.PassingRun(count);
    qint64 placed = lost;
    if (run > 0) {
      const Written n = write(c.Line() + c.Offset, run);
      if (n.Failed || n.Blocked) return false;
      placed = n.Count;
    }
    left -= placed;
    RecordWritten(c, placed, Clock::now());
    if (c.Offset == c.Bytes.size())
      queue_.pop_front();
    else if (placed < run)
      return false;
  }
  return true;
}

// A pseudo-terminal of its own (Linux only).
std::unique_ptr<ControllerLine> MakePtyLine(SimulatedController &owner);
// The serial port `device` ("/dev/ttyUSB0", "COM5").
std::unique_ptr<ControllerLine> MakeDeviceLine(SimulatedController &owner, const QString &device);

}  // namespace sim
