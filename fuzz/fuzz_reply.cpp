// The reply state machine against any byte stream, gaps included.
//
// Input: a stream of events. 0xFE is an escape: 0xFE 0x00 (or a lone 0xFE at
// the end) is a 0.5 s gap, 0xFE b is the byte b; every other byte stands for
// itself. Each time a collector decides, the next bytes go to a fresh one, as
// the link starts every reply afresh.

#include "FuzzSupport.h"
#include "ReplyCollector.h"

namespace {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char ACK = 0x06;
constexpr qsizetype MaxFrame = 256;

// A frame is complete with the second byte after an ETX that is not itself
// followed by another ETX within those two bytes. The frame is what follows
// `start` in `fed`.
bool TrailerComplete(const QByteArray &fed, qsizetype start) {
  const qsizetype k = fed.size();
  return k - start >= 4 && fed[k - 3] == ETX && fed[k - 2] != ETX && fed[k - 1] != ETX;
}

void CheckShape(const WindowReply &reply, const QByteArray &frame) {
  if (reply.Failed()) return;
  if (reply.Kind == ReplyKind::Acknowledged) {
    FUZZ_CHECK(frame.size() == 6 && frame[2] == ACK);
    return;
  }
  // Data: the trimmed data field, never more than the frame carried.
  FUZZ_CHECK(frame.size() >= 9);
  FUZZ_CHECK(reply.Text.size() <= frame.size() - 9);
  FUZZ_CHECK(frame.mid(6, frame.size() - 9).contains(reply.Text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Any byte run as a finished frame.
  const QByteArray raw(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  CheckShape(ClassifyReply(raw), raw);

  ReplyCollector collector;
  QByteArray fed;  // bytes this collector has taken
  qsizetype start = -1;  // of the first STX in fed
  qsizetype events = 0;
  for (size_t i = 0; i < size; ++i) {
    int event = data[i];  // -1: a gap
    if (data[i] == 0xFE) event = (i + 1 < size && data[i + 1] != 0) ? data[++i] : (++i, -1);
    ++events;
    if (event >= 0) fed += static_cast<char>(event);

    // Bytes before the first STX are thrown away; from it on everything is kept.
    if (start < 0 && event == STX) start = fed.size() - 1;
    const qsizetype frameSize = start < 0 ? 0 : fed.size() - start;
    const bool decided = collector.Feed(event < 0 ? std::nullopt : std::optional<quint8>(quint8(event)));
    FUZZ_CHECK(frameSize <= MaxFrame);
    FUZZ_CHECK(events <= 2 * MaxFrame);  // a line that keeps talking cannot hold a reply forever

    const bool complete = event >= 0 && start >= 0 && TrailerComplete(fed, start);
    const bool due = event < 0 || complete || frameSize >= MaxFrame || (start < 0 && fed.size() >= MaxFrame);
    FUZZ_CHECK(decided == due);
    if (!decided) continue;

    const QByteArray frame = start < 0 ? QByteArray() : fed.mid(start);
    const WindowReply &reply = collector.Reply();
    CheckShape(reply, frame);
    if (event < 0) {
      FUZZ_CHECK(reply.Kind == ReplyKind::TimedOut && reply.Text == "#TIMEOUT#");
    } else if (complete) {
      const WindowReply expected = ClassifyReply(frame);
      FUZZ_CHECK(reply.Kind == expected.Kind && reply.Text == expected.Text);
    } else {
      FUZZ_CHECK(reply.Kind == ReplyKind::Malformed);  // too long, or no start byte at all
    }
    if (!reply.Failed()) FUZZ_CHECK(reply.Text.size() <= fed.size());

    collector = ReplyCollector();
    fed.clear();
    start = -1;
    events = 0;
  }
  return 0;
}
