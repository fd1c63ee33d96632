#include "FailureRecord.h"
#include "FieldReader.h"
#include "ReplySlices.h"
#include "UploadSteps.h"
#include "mdlSerial.h"

#include <climits>

namespace {

struct MonitorLetters {
  QByteArray Flash, Eeprom, Programming;
};

// Sends an erase command; false when the "(E)" monitor's answer lacks
// "Erased" and CheckErrors makes that stop the transfer.
bool Erase(StepHost &host, const QByteArray &command, bool checkReply) {
  const QByteArray reply = MonitorExchangeCount(host.Port(), command, 10);
  return !checkReply || Slice(reply, 4, 6) == "Erased" ||
         !RecordFailure(FlagRule::WhileCheckingErrors, host.CheckErrors());
}

bool EraseAndEnterProgramming(StepHost &host, const MonitorLetters &letters, bool checkReplies) {
  host.SetStepCaption("Clear Flash memory");
  host.SetProgressMin(0);
  host.SetProgressMax(6);
  host.SetProgressValue(0);
  host.Wait(0.5);

  if (!Erase(host, letters.Flash, checkReplies)) return false;
  host.SetProgressValue(1);
  host.Wait(0.2);
  host.SetProgressValue(2);
  host.Wait(0.5);

  host.SetStepCaption("Clear EEPROM");
  if (!Erase(host, letters.Eeprom, checkReplies)) return false;
  host.SetProgressValue(3);
  host.Wait(0.2);
  host.SetProgressValue(4);
  host.Wait(0.5);

  host.SetStepCaption("Set Controller in Programming mode");
  MonitorExchangeCount(host.Port(), letters.Programming, 10);
  host.SetProgressValue(5);
  host.Wait(0.2);
  host.SetProgressValue(6);
  host.Wait(0.2);
  return true;
}

// After an unacknowledged record: is the monitor still there? The line is let
// settle so a prompt longer than ten bytes cannot spoil the next record's answer.
bool MonitorStillAnswers(StepHost &host) {
  host.Wait(0.2);
  return IsMonitorTag(PromptTagOf(SettledExchange(host.Port(), "\r", 10)));
}

// A refused record leaves a hole in the firmware: counted always, and with
// CheckErrors it stops the transfer at once.
bool RefusalStops(StepHost &host) { return RecordFailure(FlagRule::WhileCheckingErrors, host.CheckErrors()); }

// Streams the file one record per exchange; false when the monitor was lost.
bool TransferRecords(StepHost &host) {
  QString error;
  const qint64 lines = CountLines(host.ProgramFile(), &error);
  host.SetStepCaption("Sending Program File");
  host.SetProgressMin(0);
  host.SetProgressValue(0);
  host.SetProgressMax(static_cast<int>(qMin<qint64>(lines, INT_MAX)));

  FieldReader file;
  if (lines < 0 || !file.Open(host.ProgramFile(), &error)) return false;
  for (;;) {
    const QByteArray reply = MonitorExchangeCount(host.Port(), file.ReadField(), 1);
    // Silence may be a late "*"; any other answer is a record the controller
    // does not hold, never sent again.
    if (reply != "*" && !reply.isEmpty() && RefusalStops(host)) return true;
    if (reply != "*" && !MonitorStillAnswers(host)) return false;
    host.SetProgressValue(host.ProgressValue() + 1);
    if (file.AtEnd()) return true;
  }
}

}  // namespace

void SendProgramFile(StepHost &host, const QByteArray &PromptTag) {
  // Letters meant for one monitor could do anything to another: only the two
  // known dialects are spoken to.
  if (!IsMonitorTag(PromptTag)) {
    RecordFailure(FlagRule::Always);
    return;
  }
  const bool eMonitor = PromptTag == "(E)";
  const MonitorLetters letters = eMonitor ? MonitorLetters{"E", "C", "P"} : MonitorLetters{"a", "d", "b"};
  if (!EraseAndEnterProgramming(host, letters, eMonitor)) return;
  // Flagged whatever CheckErrors holds: the monitor no longer answers.
  if (!TransferRecords(host)) RecordFailure(FlagRule::Always);
}
