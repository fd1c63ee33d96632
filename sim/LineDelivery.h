#pragma once
// How the bytes the controller sends reach the tool. A pseudo-terminal hands
// each byte over the moment it is written; real hardware does not:
//   - even pacing: each byte as soon as it is complete on the wire;
//   - USB converter: held until the converter's free-running latency timer
//     fires (ticks every LatencyMs since the line started), or sent at once
//     when a packet of 62 bytes is full;
//   - UART FIFO: handed over when 14 bytes wait (the trigger level), or once
//     no byte has come for four character times.

#include <QString>
#include <QtGlobal>

#include <vector>

namespace sim {

enum class DeliveryKind { Even, UsbConverter, UartFifo };

struct LineDelivery {
  DeliveryKind Kind = DeliveryKind::Even;
  int LatencyMs = 16;  // the USB converter's latency timer (common parts: 1 to 255 ms)
};

constexpr int UsbPacketBytes = 62;
constexpr int FifoTriggerBytes = 14;
constexpr int FifoTimeoutCharacters = 4;
constexpr qint64 CharacterNs = 10'000'000'000LL / 9600;  // 10 bits at 9600 baud

// `complete`: when each byte not yet handed over is complete on the wire, in ns
// since the line started, in sending order. Returns for each byte when the tool
// gets it. Nothing is waiting in the hardware before the first byte.
std::vector<qint64> DeliveryTimes(const std::vector<qint64> &complete, const LineDelivery &delivery);

// "even", "usb" (16 ms), "usb:MS" with MS from 1 to 255, "fifo".
bool ParseDelivery(const QString &text, LineDelivery &out);
QString DeliveryName(const LineDelivery &delivery);  // parses back to the same model

}  // namespace sim
