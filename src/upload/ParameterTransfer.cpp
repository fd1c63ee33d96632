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
bool FailStops(StepHost &host) {
  ++FailureCount;
  if (host.CheckErrors() == 0) return false;
  ErrorFlag = -1;
  return true;
}

// The byte's two hex digits, either case, and nothing after them but line ends.
bool ReadBackMatches(const QByteArray &reply, quint8 expected) {
  if (reply.size() < 2) return false;
  bool ok = false;
  const int value = reply.left(2).toInt(&ok, 16);
  if (!ok || value != expected) return false;
  for (int i = 2; i < reply.size(); ++i)
    if (reply[i] != '\r' && reply[i] != '\n') return false;
  return true;
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
      // Settled, so the reply's line end comes with it instead of with the next.
      const QByteArray reply = SettledExchange(host.Port(), "R" + AddressHex(address).toLatin1() + "\r", 2);
      // Only bytes the transfer wrote here are compared: sizes it skips move
      // this pass's address but not its own.
      const auto it = written.find(address);
      if (it != written.end() && !ReadBackMatches(reply, it->second) && FailStops(host)) return;
      ++address;
    }
  }
}
