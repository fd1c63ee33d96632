#include "ParameterTransfer.h"

#include "FieldReader.h"
#include "ParameterList.h"
#include "TextChars.h"
#include "Exchanges.h"
#include "SerialPort.h"

#include <climits>
#include <map>

namespace {

// Opens the list after its counting pass and sets the progress scale.
bool BeginPass(StepHost &host, Step step, FieldReader &file) {
  QString error;
  const qint64 lines = CountLines(host.ParameterFile(), &error);
  host.SetStep(step);
  host.SetProgressMin(0);
  host.SetProgressValue(0);
  host.SetProgressMax(static_cast<int>(qBound<qint64>(qint64(0), lines - 1, qint64(INT_MAX))));
  return lines >= 0 && file.Open(host.ParameterFile(), &error);
}

// A pass that moves the progress bar on by one for every record, also for one
// that transfers nothing.
ParameterWalk ProgressWalk(StepHost &host, RecordSpan span) {
  ParameterWalk walk;
  walk.Span = span;
  walk.OnRecord = [&host](const RecordFields &, const ParameterRecord &) {
    host.SetProgressValue(host.ProgressValue() + 1);
    return true;
  };
  return walk;
}

// Records a wrong answer; true when CheckErrors makes it end the step.
bool FailStops(StepHost &host, FailureRecord &record, const QString &detail = {}) {
  return record.Record(FlagRule::WhileCheckingErrors, host.CheckErrors(), detail);
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

}  // namespace

StepOutcome SendParameterList(StepHost &host, FailureRecord &record) {
  FieldReader file;
  if (!BeginPass(host, Step::SendingParameters, file)) {
    FailStops(host, record);
    return record.Outcome(host.Port());
  }
  ParameterWalk walk = ProgressWalk(host, RecordSpan::SentBytes);
  walk.OnByte = [&host, &record](quint16 address, quint8 byte, const ParameterRecord &) {
    const QByteArray command = "E" + AddressHex(address).toLatin1() + ByteHex(byte).toLatin1() + "\r";
    return MonitorExchange(host.Port(), command) == "\r" || !FailStops(host, record);
  };
  WalkParameterList(file, walk);
  return record.Outcome(host.Port());
}

StepOutcome VerifyParameterList(StepHost &host, FailureRecord &record) {
  QString error;
  const std::map<quint16, quint8> written = ParameterByteMap(host.ParameterFile(), &error);
  FieldReader file;
  if (!BeginPass(host, Step::VerifyingParameters, file)) {
    FailStops(host, record);
    return record.Outcome(host.Port());
  }
  ParameterWalk walk = ProgressWalk(host, RecordSpan::SizeAddresses);
  walk.OnByte = [&host, &record, &written](quint16 address, quint8, const ParameterRecord &) {
    QByteArray reply;
    const int byte = ReadBackAt(host.Port(), address, &reply);
    // Only bytes the transfer wrote here are compared: sizes it skips move
    // this pass's address but not its own.
    const auto it = written.find(address);
    return it == written.end() || byte == it->second ||
           !FailStops(host, record, ReadBackDetail(address, it->second, reply, byte));
  };
  WalkParameterList(file, walk);
  return record.Outcome(host.Port());
}

ParameterComparison CompareParameterList(StepHost &host) {
  ParameterComparison comparison;
  FieldReader file;
  if (!BeginPass(host, Step::VerifyingParameters, file)) return comparison;
  ParameterWalk walk = ProgressWalk(host, RecordSpan::SentBytes);
  walk.OnRecord = [&host, &comparison](const RecordFields &fields, const ParameterRecord &record) {
    host.SetProgressValue(host.ProgressValue() + 1);
    comparison.Records.append({fields.Line[0], record.Description, record.Size, record.Value, RecordBytes(record), {}, {}});
    return true;
  };
  walk.OnByte = [&host, &comparison](quint16 address, quint8, const ParameterRecord &) {
    RecordComparison &current = comparison.Records.last();
    QByteArray reply;
    current.Read << ReadBackAt(host.Port(), address, &reply);
    current.Replies << reply;
    return !host.Port().Ended();
  };
  comparison.Complete = WalkParameterList(file, walk);
  return comparison;
}

int ReadBackAt(SerialPort &port, quint16 address, QByteArray *reply) {
  const QByteArray command = "R" + AddressHex(address).toLatin1();
  // Settled, so the reply's line end comes with it instead of with the next.
  *reply = SettledExchange(port, command + "\r", 2);
  return ReadBackByte(*reply, command);
}


