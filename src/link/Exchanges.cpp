// Receive primitives and boot-monitor exchanges.
#include "Exchanges.h"

#include "ReceiveWait.h"

namespace {

// The pause after which a reply is taken as finished: two character times of
// the line (10 bits a character), or longer on a line that delivers in bursts.
qint64 QuietNs(const SerialPort &port) {
  LineSettings s;
  ParseLineSettings(port.Settings(), s);
  return SettleQuietNs(port.Timing(), s.Baud);
}

QElapsedTimer SendDiscardingInput(SerialPort &port, const QByteArray &text) {
  port.SetReadMode(0);
  port.DiscardInput();
  port.Write(text);
  QElapsedTimer start;
  start.start();
  return start;
}

// The port went away during the exchange and is back: what was sent may
// never have arrived, so it goes out again, marked in the trace.
bool SendAgainAfterComeback(SerialPort &port, const QByteArray &text) {
  if (!port.CameBack()) return false;
  port.NoteRepeat(QStringLiteral("after the port came back: ") + QString::fromLatin1(text.left(12)).trimmed());
  return true;
}

QByteArray ReadAllWaiting(SerialPort &port) {
  port.SetReadMode(0);
  return port.Read();
}

}  // namespace

QByteArray TakeWaiting(SerialPort &port) {
  TakeInLateInput(port);
  return ReadAllWaiting(port);
}

std::optional<quint8> ReadByte(SerialPort &port) {
  // The request never arrived, or its reply went with the old device.
  if (port.CameBack()) return std::nullopt;
  QElapsedTimer start;
  start.start();
  // A window reply's pauses are learned where its frame is collected.
  WaitForBytes(port, 1, start, ReplyWaitMs, ReplyGaps::Ignore);
  if (port.BytesWaiting() < 1) return std::nullopt;
  const QByteArray b = port.Read();
  if (b.isEmpty()) return std::nullopt;
  return static_cast<quint8>(b[0]);
}

QByteArray MonitorExchange(SerialPort &port, const QByteArray &text) {
  return MonitorExchangeCount(port, text, 1);
}

QByteArray MonitorExchangeCount(SerialPort &port, const QByteArray &text, int count) {
  do {
    const QElapsedTimer start = SendDiscardingInput(port, text);
    WaitForBytes(port, count, start, ReplyWaitMs, ReplyGaps::Ignore);
  } while (SendAgainAfterComeback(port, text));
  return ReadAllWaiting(port);
}

QByteArray MonitorExchangeUntil(SerialPort &port, const QByteArray &text,
                                const std::function<bool(const QByteArray &)> &complete) {
  for (;;) {
    const QElapsedTimer start = SendDiscardingInput(port, text);
    QByteArray reply;
    for (;;) {
      WaitForBytes(port, 1, start, ReplyWaitMs, ReplyGaps::Ignore);
      if (port.CameBack()) break;
      const QByteArray more = ReadAllWaiting(port);
      if (more.isEmpty()) return reply;  // time is up, or the port went away
      reply += more;
      if (complete(reply)) return reply;
    }
    SendAgainAfterComeback(port, text);
  }
}

QByteArray SettledExchange(SerialPort &port, const QByteArray &text, int count) {
  do {
    const QElapsedTimer start = SendDiscardingInput(port, text);
    WaitForBytes(port, count, start, ReplyWaitMs, ReplyGaps::Learn);
    if (!port.CameBack() && port.BytesWaiting() >= count) WaitForQuiet(port, QuietNs(port), start, ReplyWaitMs);
  } while (SendAgainAfterComeback(port, text));
  return ReadAllWaiting(port);
}
