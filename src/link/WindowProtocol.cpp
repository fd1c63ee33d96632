// Checksummed request frames to the controller's application and the
// classification of its replies.
#include "WindowProtocol.h"

#include "FrameBytes.h"
#include "ReplyCollector.h"
#include "Exchanges.h"
#include "WindowReply.h"

#include <QtGlobal>

namespace {

constexpr char ControllerAddress = static_cast<char>(0x80);

// A frame is at most 254 bytes before its two checksum characters.
constexpr int MaxFrameBeforeChecksum = 254;

// Text values are padded with blanks to the field the controller keeps for
// them, never cut: ten characters, but four for the pump's special model.
constexpr int TextFieldWidth = 10;
constexpr int PumpSpecialModelWindow = 321;
constexpr int PumpSpecialModelWidth = 4;

// A read is asked again while the line may have spoiled its answer: a frame
// cut short, malformed or with a wrong checksum, or a NAK. At 1 in 100 a
// window exchange fails about one attempt in four: eight attempts leave about
// one read in 65,000 unread. Silence is asked again SilentReadAttempts times.
constexpr int ReadAttempts = 8;

// Three attempts at a write the controller refused (a NAK, an error code) or
// left unanswered, as the protocol has always made them; an answer the line
// spoiled is not the controller's word, and writing a window again is
// harmless, so such a write goes on up to eight attempts in all.
constexpr int WriteAttempts = 3;
constexpr int SpoiledWriteAttempts = 8;

// What one attempt heard, for the choice to ask again.
enum class Heard {
  Answer,   // a whole frame whose checksum is right
  Spoiled,  // a frame begun but cut, malformed, or with a wrong checksum
  Nothing,  // no frame's start byte at all
};

struct Attempt {
  WindowReply Reply;
  QByteArray Bytes;  // what came of the frame
  Heard What = Heard::Nothing;
};

QByteArray Header(int window, char command) {
  QByteArray h;
  h += STX;
  h += ControllerAddress;
  h += QByteArray::number(window).rightJustified(3, '0');
  h += command;
  return h;
}

QByteArray WithChecksum(QByteArray frame) {
  frame += ETX;
  return frame + FrameChecksum(frame);
}

bool IsWholeNumber(const QByteArray &text, qint64 &value) {
  bool ok = false;
  value = text.trimmed().toLongLong(&ok);
  return ok;
}

QByteArray NumericData(const QByteArray &value) {
  qint64 n = 0;
  if (!IsWholeNumber(value, n)) return value;
  // The magnitude is taken unsigned: the lowest 64-bit number has no positive twin.
  const quint64 magnitude = n < 0 ? 0 - static_cast<quint64>(n) : static_cast<quint64>(n);
  const QByteArray digits = QByteArray::number(magnitude).rightJustified(6, '0');
  return n < 0 ? "-" + digits : digits;
}

QByteArray LogicData(const QByteArray &value) {
  qint64 n = 0;
  return IsWholeNumber(value, n) && n == 1 ? "1" : "0";
}

QByteArray TextData(int window, const QByteArray &value) {
  const int width = window == PumpSpecialModelWindow ? PumpSpecialModelWidth : TextFieldWidth;
  return value.leftJustified(width, ' ');
}

void SendRequest(SerialPort &port, const QByteArray &frame) {
  port.SetReadMode(0);
  port.DiscardInput();
  port.SetReadMode(1);
  port.Write(frame);
}

// Collects one reply frame byte by byte and classifies it.
Attempt ReceiveReply(SerialPort &port) {
  // A frame's end is known, so every wait after its first byte is a pause
  // inside the reply: the settled exchanges learn from it, and from frames
  // that arrive whole (LineTiming.h).
  const qint64 sent = LineClockNs();
  qint64 first = -1, last = -1;
  bool whole = true;
  ReplyCollector collector;
  for (;;) {
    const qint64 before = LineClockNs();
    const bool waiting = port.BytesWaiting() > 0;
    const std::optional<quint8> byte = ReadByte(port);
    if (byte) {
      last = LineClockNs();
      if (first < 0) {
        first = last;
      } else {
        NoteArrivalGap(port.Timing(), last - before);
        whole = whole && waiting;
      }
    }
    if (collector.Feed(byte)) break;
  }
  if (first >= 0 && first != last) NoteFrame(port.Timing(), sent, first, last, whole);
  Attempt attempt{collector.Reply(), collector.Heard(), Heard::Spoiled};
  if (!collector.Begun()) attempt.What = Heard::Nothing;
  else if (!collector.Frame().isEmpty() && ReplyChecksumRight(collector.Frame())) attempt.What = Heard::Answer;
  return attempt;
}

// The port went away during the attempt and is back: the attempt is made
// again and not counted, the line having cut it, not spoiled it.
bool SentBeforeComeback(SerialPort &port, int &attempt) {
  if (!port.CameBack()) return false;
  port.NoteRepeat(QStringLiteral("after the port came back"));
  --attempt;
  return true;
}

// The same spoiled answer twice running is the controller's own: a wrong
// checksum it always sends, a reply it always cuts. It is taken as it came.
bool SpoiledAgain(const Attempt &now, const Attempt &before) {
  return now.What == Heard::Spoiled && before.What == Heard::Spoiled && now.Bytes == before.Bytes;
}

bool AskReadAgain(const Attempt &now, const Attempt &before, int attempt, int silent) {
  if (attempt >= ReadAttempts) return false;
  switch (now.What) {
    case Heard::Nothing: return silent < SilentReadAttempts;
    case Heard::Answer: return now.Reply.Kind == ReplyKind::NegativeAcknowledgement;
    case Heard::Spoiled: return !SpoiledAgain(now, before);
  }
  return false;
}

// Sends `frame` until an attempt is acknowledged, the attempts run out or
// the port is lost; the last attempt's reply kind.
// An error code is the controller's own refusal, so the write made again
// after one is no cost of the line and not counted as one.
ReplyKind SendUntilAcknowledged(SerialPort &port, int window, const QByteArray &frame) {
  Attempt before;
  int refused = 0, lineRepeats = 0;
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) {
      port.NoteRepeat(QStringLiteral("write of window %1").arg(window));
      if (before.What != Heard::Answer || before.Reply.Kind != ReplyKind::ErrorCode) ++lineRepeats;
    }
    SendRequest(port, frame);
    const Attempt now = ReceiveReply(port);
    if (SentBeforeComeback(port, attempt)) continue;
    const ReplyKind kind = now.Reply.Kind;
    const bool taken = now.What != Heard::Spoiled || SpoiledAgain(now, before);
    if (now.What == Heard::Answer && kind == ReplyKind::Acknowledged) port.CountRepeats(lineRepeats);
    if ((taken && kind == ReplyKind::Acknowledged) || port.Ended()) return kind;
    if (taken) ++refused;
    if (refused >= WriteAttempts || attempt >= SpoiledWriteAttempts) return kind;
    before = now;
  }
}

}  // namespace

QByteArray FrameChecksum(const QByteArray &frame) {
  quint8 x = 0;
  for (int i = 1; i < frame.size(); ++i) x ^= static_cast<quint8>(frame[i]);
  return QByteArray::number(x, 16).toUpper().rightJustified(2, '0');
}

QByteArray ReadRequestFrame(int window) { return WithChecksum(Header(window, '0')); }

QByteArray WriteRequestFrame(int window, const QByteArray &dataType, const QByteArray &value) {
  QByteArray frame = Header(window, '1');
  if (dataType == "L") frame += LogicData(value);
  else if (dataType == "N") frame += NumericData(value);
  else if (dataType == "A") {
    if (value.isEmpty()) return {};
    frame += TextData(window, value);
  }
  if (frame.size() + 1 > MaxFrameBeforeChecksum) return {};
  return WithChecksum(frame);
}

WindowReply ReadWindow(SerialPort &port, int window) {
  const QByteArray frame = ReadRequestFrame(window);
  Attempt before;
  int silent = 0;
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) port.NoteRepeat(QStringLiteral("read of window %1").arg(window));
    SendRequest(port, frame);
    const Attempt now = ReceiveReply(port);
    if (SentBeforeComeback(port, attempt)) continue;
    if (now.What == Heard::Nothing) ++silent;
    if (port.Ended() || !AskReadAgain(now, before, attempt, silent)) {
      if (now.What == Heard::Answer && now.Reply.Kind != ReplyKind::NegativeAcknowledgement)
        port.CountRepeats(attempt - 1);
      return now.Reply;
    }
    before = now;
  }
}

WriteResult WriteWindow(SerialPort &port, int window, const QByteArray &dataType, const QByteArray &value) {
  WriteResult result;
  if (dataType == "A" && value.isEmpty()) {
    result.Written = true;
    return result;
  }
  const qint64 before = port.BytesReceived();
  // A frame beyond the protocol is refused: a failure, never a silent success.
  const QByteArray frame = WriteRequestFrame(window, dataType, value);
  if (!frame.isEmpty()) result.LastReply = SendUntilAcknowledged(port, window, frame);
  result.Written = result.LastReply == ReplyKind::Acknowledged;
  result.Answered = port.BytesReceived() != before;
  return result;
}

WriteResult WriteWindow(SerialPort &port, int window, const QByteArray &dataType, qint64 value) {
  return WriteWindow(port, window, dataType, QByteArray::number(value));
}
