#pragma once
// A noisy line: each byte, in either direction, suffers an event with
// probability Rate; half of the events lose the byte, half flip one of its
// eight bits, chosen uniformly. Each direction draws from a generator of its
// own, seeded from Seed, once per byte: the same bytes with the same seed meet
// the same events on every run and every system.

#include <QString>
#include <QtGlobal>

#include <optional>

namespace sim {

struct LineNoise {
  double Rate = 0;  // 0 to 1; 0 is a clean line
  quint32 Seed = 1;
};

struct NoiseEvent {
  enum Direction { ToController, ToTool } Dir = ToController;
  enum Kind { Lost, Flipped } What = Lost;
  qint64 Index = 0;  // the byte's position in its direction's stream (see SimulatedController)
  quint8 Before = 0;
  quint8 After = 0;  // a lost byte: the same as Before (nothing arrived)

  bool operator==(const NoiseEvent &o) const {
    return Dir == o.Dir && What == o.What && Index == o.Index && Before == o.Before && After == o.After;
  }
};

// One direction's noise.
class NoiseStream {
 public:
  NoiseStream() = default;
  NoiseStream(const LineNoise &noise, NoiseEvent::Direction direction);

  bool Clean() const { return rate_ <= 0; }
  // The one draw for the next byte: what befalls it (Index left 0), or nothing.
  std::optional<NoiseEvent> Draw(quint8 byte);

 private:
  quint64 Next();

  double rate_ = 0;
  NoiseEvent::Direction direction_ = NoiseEvent::ToController;
  quint64 state_ = 0;
};

// "0.001", "1/1000", "1e-3", each optionally followed by ":SEED" (default 1);
// "0" and "off" for a clean line.
bool ParseNoise(const QString &text, LineNoise &out);
// "off", "1/1000", "0.0025", with ":SEED" when the seed is not 1; parses back.
QString NoiseName(const LineNoise &noise);

}  // namespace sim
