#include "IdentificationBackup.h"

#include "FailureRecord.h"
#include "FirstContact.h"
#include "KeptBackups.h"
#include "IdWindows.h"
#include "WindowProtocol.h"
#include "WindowReply.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

WindowReply ReadIdWindow(SerialPort &port, const IdWindow &row) { return ReadWindow(port, row.Win); }

namespace {

// No reply frame answered the first window: ask what answers instead, with
// CRs alone. True when a monitor does, and no window frame may follow.
bool MonitorInstead(SerialPort &port, StoredParameters &stored, bool noByte) {
  stored.Answer = AskWhatAnswers(port);
  stored.FirstUnanswered = noByte && !stored.MonitorAnswered();
  return stored.MonitorAnswered();
}

}  // namespace

StoredParameters StoreControllerParameters(SerialPort &port, StepProgress &progress, bool checkErrors) {
  StoredParameters stored{BlankBackup(), {}, {}, false};
  FailureRecord record;
  progress.Begin(Step::StoringParameters, {Shown, Repainted, Maximum(IdWindowCount), Minimum(0), At(0)});
  for (int r = 0; r < IdWindowCount; ++r) {
    IdWindow &row = stored.Rows[r];
    const qint64 before = port.BytesReceived();
    const WindowReply reply = ReadIdWindow(port, row);
    row.Value = reply.Text;
    row.ReadFailed = reply.Failed();
    // A stray byte (the tail of a transfer that was cut short) is no answer:
    // unless a reply frame came, ask what answers before anything else.
    const bool noFrame = r == 0 && !IsApplicationFrame(reply) && !port.Ended();
    const bool monitor = noFrame && MonitorInstead(port, stored, port.BytesReceived() == before);
    if (row.ReadFailed && (record.Record(FlagRule::WhileCheckingErrors, checkErrors) || monitor)) {
      stored.Result = record.Result(port);
      return stored;
    }
    progress.Set(r + 1);
  }
  progress.Wait(0.2);
  stored.Result = record.Result(port);
  return stored;
}
