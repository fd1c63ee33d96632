#include "ReplyCollector.h"

#include "FrameBytes.h"

namespace {

// A frame is at most 254 bytes before its two checksum characters; nothing
// longer can be a reply, and a line that keeps talking must not hold us forever.
constexpr int MaxReplyFrame = 256;

// Only the padding blanks go: a tab, CR or LF inside a window's data is data.
QByteArray WithoutSurroundingSpaces(const QByteArray &data) {
  qsizetype begin = 0, end = data.size();
  while (begin < end && data[begin] == ' ') ++begin;
  while (end > begin && data[end - 1] == ' ') --end;
  return data.mid(begin, end - begin);
}

}  // namespace

bool ReplyCollector::Decide(const WindowReply &reply) {
  begun_ = begun_ || state_ == State::Collecting;
  reply_ = reply;
  return true;
}

bool ReplyCollector::Feed(std::optional<quint8> byte) {
  // Whatever was collected is dropped, also in the middle of a frame.
  if (!byte) return Decide({ReplyKind::TimedOut, "#TIMEOUT#"});
  const char c = static_cast<char>(*byte);
  if (state_ == State::Hunting) {
    buffer_ = QByteArray(1, c);  // bytes before a start byte overwrite one another
    trailer_ = 0;
    if (c == STX) state_ = State::Collecting;
    else if (++hunted_ >= MaxReplyFrame) return Decide({ReplyKind::Malformed, "NO REPLY FRAME"});
    return false;
  }
  buffer_ += c;
  if (c == ETX) trailer_ = 1;
  else if (trailer_ > 0) ++trailer_;
  if (trailer_ == 3) {
    frame_ = buffer_;
    return Decide(ClassifyReply(buffer_));
  }
  if (buffer_.size() >= MaxReplyFrame) return Decide({ReplyKind::Malformed, "REPLY TOO LONG"});
  return false;
}

WindowReply ClassifyReply(const QByteArray &frame) {
  const int k = frame.size();
  if (k == 6) {
    const char code = frame[2];
    if (code == ACK) return {ReplyKind::Acknowledged, "ACK"};
    if (code == NAK) return {ReplyKind::NegativeAcknowledgement, "NACK"};
    switch (code) {
      case '2': return {ReplyKind::ErrorCode, "UNKNOWN WINDOW"};
      case '3': return {ReplyKind::ErrorCode, "DATA TYPE ERROR"};
      case '4': return {ReplyKind::ErrorCode, "OUT OF RANGE"};
      case '5': return {ReplyKind::ErrorCode, "WIN DISABLED"};
    }
    if (code >= '0' && code <= '9') return {ReplyKind::ErrorCode, QByteArray("NACK CODE: ") + code};
    return {ReplyKind::ErrorCode, QByteArray("UNKNOWN NACK :") + code};
  }
  // Shorter than a data reply's nine bytes: there is no data field to give.
  if (k < 9) return {ReplyKind::Malformed, "SHORT REPLY"};
  return {ReplyKind::Data, WithoutSurroundingSpaces(frame.mid(6, k - 9))};
}

bool ReplyChecksumRight(const QByteArray &frame) {
  if (frame.size() < 4) return false;
  quint8 x = 0;
  for (qsizetype i = 1; i < frame.size() - 2; ++i) x ^= quint8(frame[i]);
  bool ok = false;
  const uint given = frame.right(2).toUInt(&ok, 16);
  return ok && given == x;
}
