#include "ProgramTransfer.h"

#include "FieldReader.h"
#include "ReplySlices.h"
#include "TextChars.h"
#include "Exchanges.h"

#include <algorithm>
#include <climits>

namespace {

struct MonitorLetters {
  QByteArray Flash, Eeprom, Programming;
};

// Sends an erase command; false when the "(E)" monitor's answer lacks
// "Erased" and CheckErrors makes that stop the transfer.
bool Erase(StepHost &host, FailureRecord &record, const QByteArray &command, bool checkReply) {
  const QByteArray reply = MonitorExchangeCount(host.Port(), command, 10);
  return !checkReply || Slice(reply, 4, 6) == "Erased" ||
         !record.Record(FlagRule::WhileCheckingErrors, host.CheckErrors());
}

bool EraseAndEnterProgramming(StepHost &host, FailureRecord &record, const MonitorLetters &letters,
                              bool checkReplies) {
  host.SetStep(Step::ClearingFlash);
  host.SetProgressMin(0);
  host.SetProgressMax(6);
  host.SetProgressValue(0);
  host.Wait(0.5);

  if (!Erase(host, record, letters.Flash, checkReplies)) return false;
  host.SetProgressValue(1);
  host.Wait(0.2);
  host.SetProgressValue(2);
  host.Wait(0.5);

  host.SetStep(Step::ClearingEeprom);
  if (!Erase(host, record, letters.Eeprom, checkReplies)) return false;
  host.SetProgressValue(3);
  host.Wait(0.2);
  host.SetProgressValue(4);
  host.Wait(0.5);

  host.SetStep(Step::EnteringProgramming);
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
  return PromptDialect(SettledExchange(host.Port(), "\r", 10)).has_value();
}

// A monitor may put line ends and blanks around its "*", and the tail of one
// answer may come ahead of the next: they alone are no answer yet.
bool AnswerBegun(const QByteArray &reply) {
  return std::any_of(reply.begin(), reply.end(), [](char c) { return !IsLineSpace(c); });
}

bool IsAcknowledgement(const QByteArray &reply) {
  qsizetype begin = 0, end = reply.size();
  while (begin < end && IsLineSpace(reply[begin])) ++begin;
  while (end > begin && IsLineSpace(reply[end - 1])) --end;
  return end - begin == 1 && reply[begin] == '*';
}

// A refused record leaves a hole in the firmware: counted always, and with
// CheckErrors it stops the transfer at once.
bool RefusalStops(StepHost &host, FailureRecord &record) {
  return record.Record(FlagRule::WhileCheckingErrors, host.CheckErrors());
}

// Streams the file one record per exchange; false when the monitor was lost.
bool TransferRecords(StepHost &host, FailureRecord &record) {
  QString error;
  const qint64 lines = CountLines(host.ProgramFile(), &error);
  host.SetStep(Step::SendingProgram);
  host.SetProgressMin(0);
  host.SetProgressValue(0);
  host.SetProgressMax(static_cast<int>(qMin<qint64>(lines, INT_MAX)));

  FieldReader file;
  if (lines < 0 || !file.Open(host.ProgramFile(), &error)) return false;
  for (;;) {
    const QByteArray reply = MonitorExchangeUntil(host.Port(), file.ReadField(), AnswerBegun);
    // Silence may be a late "*"; any other answer is a record the controller
    // does not hold, never sent again.
    const bool acknowledged = IsAcknowledgement(reply);
    if (!acknowledged && AnswerBegun(reply) && RefusalStops(host, record)) return true;
    if (!acknowledged && !MonitorStillAnswers(host)) return false;
    host.SetProgressValue(host.ProgressValue() + 1);
    if (file.AtEnd()) return true;
  }
}

}  // namespace

StepOutcome SendProgramFile(StepHost &host, FailureRecord &record, std::optional<BootDialect> dialect) {
  // Letters meant for one monitor could do anything to another: only the two
  // known dialects are spoken to.
  if (!dialect) {
    record.Record(FlagRule::Always);
    return record.Outcome(host.Port());
  }
  const bool eMonitor = dialect == BootDialect::E;
  const MonitorLetters letters = eMonitor ? MonitorLetters{"E", "C", "P"} : MonitorLetters{"a", "d", "b"};
  // Flagged whatever Check Errors holds when the monitor no longer answers.
  if (EraseAndEnterProgramming(host, record, letters, eMonitor) && !TransferRecords(host, record))
    record.Record(FlagRule::Always);
  return record.Outcome(host.Port());
}
