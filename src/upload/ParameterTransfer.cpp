#include "FailureRecord.h"
#include "FieldReader.h"
#include "ParameterList.h"
#include "UploadSteps.h"
#include "mdlSerial.h"

#include <climits>
#include <map>

namespace {

// Opens the list after its counting pass and sets the progress scale.
bool BeginPass(StepHost &host, const QString &caption, FieldReader &file, quint16 &address) {
  QString error;
  const qint64 lines = CountLines(host.ParameterFile(), &error);
  host.SetStepCaption(caption);
  host.SetProgressMin(0);
  host.SetProgressValue(0);
  host.SetProgressMax(static_cast<int>(qBound<qint64>(qint64(0), lines - 1, qint64(INT_MAX))));
  if (lines < 0 || !file.Open(host.ParameterFile(), &error)) return false;
  bool ok = false;
  address = ToAddress(ReadStartAddressValue(file.ReadField(), &ok));
  return true;
}

void AdvanceProgress(StepHost &host) { host.SetProgressValue(host.ProgressValue() + 1); }

// Records a wrong answer; true when CheckErrors makes it end the step.
bool FailStops(StepHost &host, const QString &detail = {}) {
  return RecordFailure(FlagRule::WhileCheckingErrors, host.CheckErrors(), detail);
}

bool IsSeparator(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The byte a monitor answers to "R": two hex digits, either case, with only
// line ends and blanks around them, after an echo of the command if it gives
// one. -1 when the reply holds no such byte.
int ReadBackByte(const QByteArray &reply, const QByteArray &echo) {
  qsizetype i = 0;
  const auto skip = [&] {
    while (i < reply.size() && IsSeparator(reply[i])) ++i;
  };
  skip();
  if (QByteArrayView(reply).sliced(i).startsWith(echo)) {
    i += echo.size();
    skip();
  }
  if (reply.size() - i < 2) return -1;
  const int high = HexValue(reply[i]), low = HexValue(reply[i + 1]);
  i += 2;
  skip();
  return high < 0 || low < 0 || i != reply.size() ? -1 : high * 16 + low;
}

// "read back 42", "read back nothing" or the reply with its control bytes shown.
QString ReplySeen(const QByteArray &reply, int byte) {
  if (byte >= 0) return ByteHex(quint8(byte));
  if (reply.isEmpty()) return QStringLiteral("nothing");
  QString shown;
  for (char c : reply) {
    const uchar u = uchar(c);
    if (c == '\r') shown += "\\r";
    else if (c == '\n') shown += "\\n";
    else if (u < 0x20 || u >= 0x7F) shown += "\\x" + QString::number(u, 16).toUpper().rightJustified(2, '0');
    else shown += QChar(c);
  }
  return '"' + shown + '"';
}

// A wrong read-back; kept only for the first, and not when the write pass
// already failed: then what was "written" is not known.
QString ReadBackDetail(quint16 address, quint8 written, const QByteArray &reply, int byte) {
  return QStringLiteral("Address %1: wrote %2, read back %3.")
      .arg(AddressHex(address), ByteHex(written), ReplySeen(reply, byte));
}

}  // namespace

void SendParameterList(StepHost &host) {
  FieldReader file;
  quint16 address = 0;
  if (!BeginPass(host, "Sending Parameter List", file, address)) {
    FailStops(host);
    return;
  }
  while (!file.AtEnd()) {
    const ParameterRecord record = ReadParameterRecord(file);
    AdvanceProgress(host);
    for (quint8 byte : RecordBytes(record)) {
      const QByteArray command = "E" + AddressHex(address).toLatin1() + ByteHex(byte).toLatin1() + "\r";
      if (MonitorExchange(host.Port(), command) != "\r" && FailStops(host)) return;
      ++address;
    }
  }
}

void VerifyParameterList(StepHost &host) {
  QString error;
  const std::map<quint16, quint8> written = ParameterByteMap(host.ParameterFile(), &error);
  FieldReader file;
  quint16 address = 0;
  if (!BeginPass(host, "Verifying Parameter List", file, address)) {
    FailStops(host);
    return;
  }
  while (!file.AtEnd()) {
    const ParameterRecord record = ReadParameterRecord(file);
    AdvanceProgress(host);
    for (int i = 0; i < record.Size; ++i) {
      const QByteArray command = "R" + AddressHex(address).toLatin1();
      // Settled, so the reply's line end comes with it instead of with the next.
      const QByteArray reply = SettledExchange(host.Port(), command + "\r", 2);
      // Only bytes the transfer wrote here are compared: sizes it skips move
      // this pass's address but not its own.
      const auto it = written.find(address);
      const int byte = ReadBackByte(reply, command);
      if (it != written.end() && byte != it->second &&
          FailStops(host, ReadBackDetail(address, it->second, reply, byte)))
        return;
      ++address;
    }
  }
}
