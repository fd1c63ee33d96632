// The application's window protocol, controller side.
//
// Request:  STX 0x80 www cmd data ETX c1 c2   (cmd '0' read, '1' write)
// Replies:  STX 0x80 www '0' data ETX c1 c2   (data reply to a read)
//           STX 0x80 code ETX c1 c2           (status: ACK, NAK, '2'..'5')
// Bytes outside a frame are ignored, as the real application does.

#include "ControllerModel.h"

namespace sim {

namespace {

constexpr int MaxFrameLength = 256;

bool IsNumber(const QByteArray &text) {
  int start = text.startsWith('-') ? 1 : 0;
  if (text.size() <= start) return false;
  for (int i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

QByteArray TrimRight(QByteArray text) {
  while (text.endsWith(' ')) text.chop(1);
  return text;
}

}  // namespace

QByteArray FrameChecksum(const QByteArray &frameWithoutChecksum) {
  quint8 x = 0;
  for (int i = 1; i < frameWithoutChecksum.size(); ++i) x ^= quint8(frameWithoutChecksum[i]);
  return QByteArray::number(x, 16).toUpper().rightJustified(2, '0');
}

QByteArray StatusReply(char code) {
  QByteArray frame;
  frame.append(STX).append(Address).append(code).append(ETX);
  return frame + FrameChecksum(frame);
}

QByteArray DataReply(int window, const QByteArray &data) {
  QByteArray frame;
  frame.append(STX).append(Address);
  frame.append(QByteArray::number(window).rightJustified(3, '0'));
  frame.append('0').append(data).append(ETX);
  return frame + FrameChecksum(frame);
}

void ControllerModel::FeedApplication(char byte, std::vector<Output> &out) {
  switch (frameState_) {
    case FrameState::Hunting:
      if (byte == STX) {
        frame_ = QByteArray(1, STX);
        frameState_ = FrameState::Collecting;
      }
      return;
    case FrameState::Collecting:
      if (byte == STX) {  // a new frame starts; the broken one is dropped
        frame_ = QByteArray(1, STX);
        return;
      }
      frame_.append(byte);
      if (byte == ETX) {
        frameState_ = FrameState::Trailer;
        trailerLeft_ = 2;
      } else if (frame_.size() > MaxFrameLength) {
        frameState_ = FrameState::Hunting;
        frame_.clear();
      }
      return;
    case FrameState::Trailer:
      frame_.append(byte);
      if (--trailerLeft_ == 0) {
        frameState_ = FrameState::Hunting;
        QByteArray frame = frame_;
        frame_.clear();
        HandleFrame(frame, out);
      }
      return;
  }
}

void ControllerModel::HandleFrame(const QByteArray &frame, std::vector<Output> &out) {
  windowRequests_.append(frame);
  if (faults_.Silent) return;
  if (frame.size() < 3 || frame[1] != Address) return;  // for another station

  const QByteArray body = frame.left(frame.size() - 2);
  if (frame.right(2).toUpper() != FrameChecksum(body) || frame.size() < 9) {
    SendFrame(StatusReply(NAK), out);
    return;
  }
  const QByteArray number = frame.mid(2, 3);
  if (!IsNumber(number) || number.startsWith('-')) {
    SendFrame(StatusReply(NAK), out);
    return;
  }
  const int win = number.toInt();
  const char command = frame[5];
  const QByteArray data = frame.mid(6, frame.size() - 9);

  if (!faults_.ReplyOverride.isEmpty()) {
    Emit(out, faults_.ReplyOverride);
    return;
  }
  if (faults_.EndlessStream) {
    static const QByteArray pattern = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QByteArray stream(1, STX);
    while (stream.size() < faults_.EndlessBytes + 1) stream.append(pattern);
    stream.truncate(faults_.EndlessBytes + 1);
    bytesProduced_ += stream.size();
    out.push_back(Output{0, stream, true});
    return;
  }
  if (faults_.ErrorWindow != 0 && win == faults_.ErrorWindow) {
    SendFrame(StatusReply(faults_.ErrorWindowCode), out);
    return;
  }

  auto slot = windows_.find(win);
  if (command == '0') {
    if (faults_.FailReadOfWindow != 0 && win == faults_.FailReadOfWindow) return;
    if (slot == windows_.end()) {
      SendFrame(StatusReply('2'), out);
      return;
    }
    SendFrame(DataReply(win, FormatWindowData(win, slot->second)), out);
    return;
  }
  if (command != '1') {
    SendFrame(StatusReply(NAK), out);
    return;
  }

  if (slot == windows_.end()) {
    SendFrame(StatusReply('2'), out);
    return;
  }
  if (faults_.RejectAllWrites || faults_.RejectWrites > 0) {
    if (faults_.RejectWrites > 0) --faults_.RejectWrites;
    SendFrame(StatusReply(faults_.RejectCode), out);
    return;
  }
  if (!DataFits(slot->second.Type, data)) {
    SendFrame(StatusReply('3'), out);
    return;
  }
  slot->second.Value = TrimRight(data);
  SendFrame(StatusReply(ACK), out);
  if (win == 501) locked_ = slot->second.Value == "1";
  if (win == 500 && slot->second.Value == "1") {
    mode_ = Mode::ParameterMonitor;
    ResetParsers();
  }
}

// Sends one reply frame with whatever the faults do to it.
void ControllerModel::SendFrame(const QByteArray &frame, std::vector<Output> &out) {
  QByteArray bytes = frame;
  if (faults_.BadChecksum) {
    const quint8 wrong = quint8(bytes.right(2).toUInt(nullptr, 16) ^ 0xFF);
    bytes.chop(2);
    bytes.append(QByteArray::number(wrong, 16).toUpper().rightJustified(2, '0'));
  }
  if (faults_.TruncateAfterEtxPlusOne) bytes.chop(1);

  if (faults_.GapMs > 0) {
    int split = faults_.GapAfterBytes >= 0 ? faults_.GapAfterBytes : int(bytes.indexOf(ETX)) + 1;
    split = qBound(0, split, int(bytes.size()));
    Emit(out, faults_.StrayBytes + bytes.left(split));
    Emit(out, bytes.mid(split), faults_.GapMs);
    return;
  }
  Emit(out, faults_.StrayBytes + bytes);
}

// Data field of a read reply, formatted the way the tool writes it: "N" at
// least six digits with leading zeros (minus sign first), "A" padded with
// spaces to 10 characters (4 for window 321), "L" as stored.
QByteArray ControllerModel::FormatWindowData(int window, const WindowSlot &slot) const {
  const QByteArray &value = slot.Value;
  if (faults_.UnpaddedReads) return value;
  switch (slot.Type) {
    case 'N': {
      if (value.isEmpty()) return "000000";
      if (!IsNumber(value)) return value;
      const bool negative = value.startsWith('-');
      const QByteArray digits = negative ? value.mid(1) : value;
      return (negative ? "-" : "") + digits.rightJustified(6, '0');
    }
    case 'A':
      return value.leftJustified(window == 321 ? 4 : 10, ' ');
    default:
      return value;
  }
}

bool ControllerModel::DataFits(char type, const QByteArray &data) {
  switch (type) {
    case 'N':
      return IsNumber(data);
    case 'L':
      return data == "0" || data == "1";
    default:
      for (char c : data)
        if (quint8(c) < 0x20 || c == 0x7F) return false;
      return true;
  }
}

}  // namespace sim
