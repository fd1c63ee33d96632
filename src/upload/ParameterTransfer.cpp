#include "ParameterTransfer.h"

#include "FieldReader.h"
#include "InputFile.h"
#include "ParameterList.h"
#include "TextChars.h"
#include "Exchanges.h"
#include "SerialPort.h"

#include <climits>
#include <map>

namespace {

// The scale of a pass over the list: one step per record, as many as the
// list has lines but one.
void BeginPass(StepProgress &progress, Step step, const InputFile &list) {
  progress.Begin(step, {Shown, Minimum(0), At(0),
                        Maximum(static_cast<int>(qBound<qint64>(qint64(0), list.Lines - 1, qint64(INT_MAX))))});
}

// A pass that moves the progress bar on by one for every record, also for one
// that transfers nothing.
ParameterWalk ProgressWalk(StepProgress &progress, RecordSpan span) {
  ParameterWalk walk;
  walk.Span = span;
  walk.OnRecord = [&progress](const RecordFields &, const ParameterRecord &) {
    progress.Advance();
    return true;
  };
  return walk;
}

// The byte a monitor answers to "R": two hex digits, either case, with only
// line ends and blanks around them, after an echo of the command if it gives
// one (set apart by a line end or a blank). -1 when the reply holds no such
// byte: the echo alone, another command's echo, more text or a second byte.
int ReadBackByte(const QByteArray &reply, const QByteArray &echo) {
  qsizetype i = 0;
  const auto skip = [&] {
    const qsizetype from = i;
    while (i < reply.size() && IsLineSpace(reply[i])) ++i;
    return i > from;
  };
  skip();
  if (QByteArrayView(reply).sliced(i).startsWith(echo)) {
    i += echo.size();
    if (!skip()) return -1;
  }
  if (reply.size() - i < 2) return -1;
  const int high = HexDigit(reply[i]), low = HexDigit(reply[i + 1]);
  i += 2;
  skip();
  return high < 0 || low < 0 || i != reply.size() ? -1 : high * 16 + low;
}

// A wrong read-back; kept only for the first, and not when the write pass
// already failed: then what was "written" is not known.
QString ReadBackDetail(quint16 address, quint8 written, const QByteArray &reply, int byte) {
  return QStringLiteral("Address %1: wrote %2, read back %3.")
      .arg(AddressHex(address), ByteHex(written), ReplySeen(reply, byte));
}

struct Mending {
  bool GivenUp = false;  // a byte used all its attempts: the rest get one
  int Attempts(int most) const { return GivenUp ? 1 : most; }
};

QByteArray WriteCommand(quint16 address, quint8 byte) {
  return "E" + AddressHex(address).toLatin1() + ByteHex(byte).toLatin1() + "\r";
}

enum class Written {
  Yes,
  Refused,  // the same answer to every attempt: the monitor's own
  Spoiled,  // answers that differed: the line's, left for the read-back to mend
};

Written WriteByte(SerialPort &port, Mending &mending, quint16 address, quint8 byte) {
  const int attempts = mending.Attempts(ByteWriteAttempts);
  QByteArray first;
  bool same = true;
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) port.NoteRepeat("write of address " + AddressHex(address));
    const QByteArray reply = MonitorExchange(port, WriteCommand(address, byte));
    if (reply == "\r") {
      port.CountRepeats(attempt - 1);
      return Written::Yes;
    }
    if (attempt == 1) first = reply;
    same = same && reply == first;
    if (port.Ended() || attempt >= attempts) break;
  }
  if (!same && !port.Ended()) return Written::Spoiled;
  mending.GivenUp = true;
  return Written::Refused;
}

// The byte read back at `address`, mended while it reads wrong; -1 when it
// could not be read. `reply` is the last answer.
int ReadBackMended(SerialPort &port, Mending &mending, quint16 address, quint8 written, QByteArray &reply) {
  const int rounds = mending.Attempts(MendRounds);
  for (int round = 1;; ++round) {
    if (round > 1) port.NoteRepeat("read-back of address " + AddressHex(address));
    const int byte = ReadBackAt(port, address, &reply);
    if (byte == written) {
      port.CountRepeats(round - 1);
      return byte;
    }
    if (port.Ended() || round >= rounds) {
      mending.GivenUp = true;
      return byte;
    }
    // Unread, it may be right: read it again. Read wrong, write it again.
    if (byte >= 0) MonitorExchange(port, WriteCommand(address, written));
  }
}

// Where nothing may be written (a comparison): an answer that could not be
// read is asked again.
int ReadBackReadable(SerialPort &port, quint16 address, QByteArray &reply) {
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) port.NoteRepeat("read-back of address " + AddressHex(address));
    const int byte = ReadBackAt(port, address, &reply);
    if (byte >= 0) port.CountRepeats(attempt - 1);
    if (byte >= 0 || port.Ended() || attempt >= ByteWriteAttempts) return byte;
  }
}

}  // namespace

StepResult SendParameterList(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &list) {
  FailureRecord record;
  BeginPass(progress, Step::SendingParameters, list);
  ParameterWalk walk = ProgressWalk(progress, RecordSpan::SentBytes);
  Mending mending;
  walk.OnByte = [&port, &record, &mending, checkErrors](quint16 address, quint8 byte, const ParameterRecord &) {
    // A wrong answer to the last attempt ends the step while Check Errors is
    // on. Answers the line spoiled are no verdict: the read-back that follows
    // reads the byte and writes it again while it reads wrong.
    const Written written = WriteByte(port, mending, address, byte);
    return written != Written::Refused || !record.Record(FlagRule::WhileCheckingErrors, checkErrors);
  };
  InputReader input(list);
  WalkParameterList(input.Fields(), walk);
  return record.Result(port);
}

StepResult VerifyParameterList(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &list) {
  FailureRecord record;
  const std::map<quint16, quint8> written = ParameterByteMap(list);
  BeginPass(progress, Step::VerifyingParameters, list);
  ParameterWalk walk = ProgressWalk(progress, RecordSpan::SizeAddresses);
  Mending mending;
  walk.OnByte = [&port, &record, &written, &mending, checkErrors](quint16 address, quint8, const ParameterRecord &) {
    // Only bytes the transfer wrote here are compared: sizes it skips move
    // this pass's address but not its own.
    const auto it = written.find(address);
    QByteArray reply;
    const int byte = it == written.end() ? ReadBackAt(port, address, &reply)
                                         : ReadBackMended(port, mending, address, it->second, reply);
    return it == written.end() || byte == it->second ||
           !record.Record(FlagRule::WhileCheckingErrors, checkErrors, ReadBackDetail(address, it->second, reply, byte));
  };
  InputReader input(list);
  WalkParameterList(input.Fields(), walk);
  return record.Result(port);
}

ParameterComparison CompareParameterList(SerialPort &port, StepProgress &progress, const InputFile &list) {
  ParameterComparison comparison;
  BeginPass(progress, Step::VerifyingParameters, list);
  ParameterWalk walk = ProgressWalk(progress, RecordSpan::SentBytes);
  walk.OnRecord = [&progress, &comparison](const RecordFields &fields, const ParameterRecord &record) {
    progress.Advance();
    comparison.Records.append({fields.Line[0], record.Description, record.Size, record.Value, RecordBytes(record), {}, {}});
    return true;
  };
  walk.OnByte = [&port, &comparison](quint16 address, quint8, const ParameterRecord &) {
    RecordComparison &current = comparison.Records.last();
    QByteArray reply;
    current.Read << ReadBackReadable(port, address, reply);
    current.Replies << reply;
    return !port.Ended();
  };
  InputReader input(list);
  comparison.Complete = WalkParameterList(input.Fields(), walk);
  return comparison;
}

int ReadBackAt(SerialPort &port, quint16 address, QByteArray *reply) {
  const QByteArray command = "R" + AddressHex(address).toLatin1();
  // Settled, so the reply's line end comes with it instead of with the next.
  *reply = SettledExchange(port, command + "\r", 2);
  return ReadBackByte(*reply, command);
}


