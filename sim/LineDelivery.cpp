#include "LineDelivery.h"

#include <QStringList>

namespace sim {

namespace {

// Packets leave at the first tick after their first byte, or when full.
std::vector<qint64> UsbTimes(const std::vector<qint64> &complete, qint64 periodNs) {
  std::vector<qint64> out(complete.size());
  for (size_t i = 0; i < complete.size();) {
    const qint64 tick = (complete[i] / periodNs + 1) * periodNs;
    size_t j = i;
    while (j < complete.size() && complete[j] <= tick && j - i < size_t(UsbPacketBytes)) ++j;
    const qint64 at = j - i == size_t(UsbPacketBytes) ? complete[j - 1] : tick;
    for (; i < j; ++i) out[i] = at;
  }
  return out;
}

// The FIFO empties at its trigger level or after its time-out.
std::vector<qint64> FifoTimes(const std::vector<qint64> &complete) {
  const qint64 timeout = FifoTimeoutCharacters * CharacterNs;
  std::vector<qint64> out(complete.size());
  for (size_t i = 0; i < complete.size();) {
    size_t j = i + 1;
    while (j < complete.size() && j - i < size_t(FifoTriggerBytes) && complete[j] - complete[j - 1] < timeout) ++j;
    const qint64 at = j - i == size_t(FifoTriggerBytes) ? complete[j - 1] : complete[j - 1] + timeout;
    for (; i < j; ++i) out[i] = at;
  }
  return out;
}

}  // namespace

std::vector<qint64> DeliveryTimes(const std::vector<qint64> &complete, const LineDelivery &delivery) {
  switch (delivery.Kind) {
    case DeliveryKind::UsbConverter: return UsbTimes(complete, qMax(1, delivery.LatencyMs) * 1'000'000LL);
    case DeliveryKind::UartFifo: return FifoTimes(complete);
    case DeliveryKind::Even: break;
  }
  return complete;
}

bool ParseDelivery(const QString &text, LineDelivery &out) {
  const QStringList parts = text.trimmed().toLower().split(':');
  LineDelivery d;
  if (parts[0] == QLatin1String("even") && parts.size() == 1) {
    d.Kind = DeliveryKind::Even;
  } else if (parts[0] == QLatin1String("fifo") && parts.size() == 1) {
    d.Kind = DeliveryKind::UartFifo;
  } else if (parts[0] == QLatin1String("usb") && parts.size() <= 2) {
    d.Kind = DeliveryKind::UsbConverter;
    if (parts.size() == 2) {
      bool ok = false;
      d.LatencyMs = parts[1].toInt(&ok);
      if (!ok || d.LatencyMs < 1 || d.LatencyMs > 255) return false;
    }
  } else {
    return false;
  }
  out = d;
  return true;
}

QString DeliveryName(const LineDelivery &delivery) {
  switch (delivery.Kind) {
    case DeliveryKind::UsbConverter: return QStringLiteral("usb:%1").arg(delivery.LatencyMs);
    case DeliveryKind::UartFifo: return QStringLiteral("fifo");
    case DeliveryKind::Even: break;
  }
  return QStringLiteral("even");
}

}  // namespace sim
