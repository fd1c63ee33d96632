#include "LineNoise.h"

#include <QLocale>
#include <QStringList>

#include <cmath>

namespace sim {

// SplitMix64: tiny, fully defined (unlike the standard library's
// distributions), and good enough to decide a byte's fate.
NoiseStream::NoiseStream(const LineNoise &noise, NoiseEvent::Direction direction)
    : rate_(noise.Rate), direction_(direction), state_((quint64(noise.Seed) << 1) | quint64(direction)) {}

quint64 NoiseStream::Next() {
  quint64 z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// The top 53 bits decide whether and what happens; the low three, which
// they do not use, pick the bit to flip.
std::optional<NoiseEvent> NoiseStream::Draw(quint8 byte) {
  const quint64 draw = Next();
  const double u = double(draw >> 11) * 0x1.0p-53;
  if (u >= rate_) return std::nullopt;
  NoiseEvent event;
  event.Dir = direction_;
  event.Before = event.After = byte;
  if (u < rate_ / 2) {
    event.What = NoiseEvent::Lost;
  } else {
    event.What = NoiseEvent::Flipped;
    event.After = quint8(byte ^ (1u << (draw & 7)));
  }
  return event;
}

namespace {

bool ParseRate(const QString &text, double &rate) {
  if (text == QLatin1String("off")) return (rate = 0), true;
  bool ok = false;
  const int slash = int(text.indexOf(QLatin1Char('/')));
  if (slash < 0) {
    rate = text.toDouble(&ok);
  } else {
    const double numerator = text.left(slash).toDouble(&ok);
    bool denominatorOk = false;
    const double denominator = text.mid(slash + 1).toDouble(&denominatorOk);
    ok = ok && denominatorOk && denominator > 0;
    if (ok) rate = numerator / denominator;
  }
  return ok && std::isfinite(rate) && rate >= 0 && rate <= 1;
}

}  // namespace

bool ParseNoise(const QString &text, LineNoise &out) {
  const QStringList parts = text.trimmed().toLower().split(QLatin1Char(':'));
  LineNoise noise;
  if (parts.size() > 2 || !ParseRate(parts[0], noise.Rate)) return false;
  if (parts.size() == 2) {
    bool ok = false;
    noise.Seed = parts[1].toUInt(&ok);
    if (!ok) return false;
  }
  out = noise;
  return true;
}

QString NoiseName(const LineNoise &noise) {
  QString rate = QStringLiteral("off");
  if (noise.Rate > 0) {
    const double inverse = std::round(1 / noise.Rate);
    rate = std::abs(inverse * noise.Rate - 1) < 1e-12 ? QStringLiteral("1/%1").arg(qint64(inverse))
                                                     : QString::number(noise.Rate, 'g', QLocale::FloatingPointShortest);
  }
  return noise.Seed == 1 ? rate : rate + QStringLiteral(":%1").arg(noise.Seed);
}

}  // namespace sim
