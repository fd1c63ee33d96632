#include "ProgramTransfer.h"

#include "Exchanges.h"
#include "FieldReader.h"
#include "ReplySlices.h"
#include "TextChars.h"

#include <algorithm>
#include <climits>

namespace {

// What the transfer works with: the line, the bar, and its own record.
struct Transfer {
  SerialPort &Port;
  StepProgress &Progress;
  bool CheckErrors;
  FailureRecord Record;
};

// Sends an erase command; false when a dialect that answers its erases does
// not answer this one so, and Check Errors makes that stop the transfer.
bool Erase(Transfer &t, char command, const BootDialect &dialect) {
  const QByteArray reply = MonitorExchangeCount(t.Port, QByteArray(1, command), 10);
  const QByteArray &erased = dialect.EraseAnswer;
  return erased.isEmpty() || Slice(reply, 4, int(erased.size())) == erased ||
         !t.Record.Record(FlagRule::WhileCheckingErrors, t.CheckErrors);
}

bool EraseAndEnterProgramming(Transfer &t, const BootDialect &dialect) {
  StepProgress &progress = t.Progress;
  progress.Begin(Step::ClearingFlash, {Shown, Minimum(0), Maximum(6), At(0)});
  progress.Wait(0.5);

  if (!Erase(t, dialect.FlashErase, dialect)) return false;
  progress.Set(1);
  progress.Wait(0.2);
  progress.Set(2);
  progress.Wait(0.5);

  progress.Caption(Step::ClearingEeprom);
  if (!Erase(t, dialect.EepromErase, dialect)) return false;
  progress.Set(3);
  progress.Wait(0.2);
  progress.Set(4);
  progress.Wait(0.5);

  progress.Caption(Step::EnteringProgramming);
  MonitorExchangeCount(t.Port, QByteArray(1, dialect.Programming), 10);
  progress.Set(5);
  progress.Wait(0.2);
  progress.Set(6);
  progress.Wait(0.2);
  return true;
}

// After an unacknowledged record: is the monitor still there? The line is let
// settle so a prompt longer than ten bytes cannot spoil the next record's answer.
bool MonitorStillAnswers(Transfer &t) {
  t.Progress.Wait(0.2);
  return PromptDialect(SettledExchange(t.Port, "\r", 10)) != nullptr;
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

// Streams the file one record per exchange; false when the monitor was lost.
bool TransferRecords(Transfer &t, const InputFile &program) {
  t.Progress.Begin(Step::SendingProgram,
                   {Shown, Minimum(0), At(0), Maximum(static_cast<int>(qMin<qint64>(program.Lines, INT_MAX)))});
  InputReader input(program);
  FieldReader &file = input.Fields();
  for (;;) {
    const QByteArray reply = MonitorExchangeUntil(t.Port, file.ReadField(), AnswerBegun);
    // Silence may be a late "*"; any other answer is a record the controller
    // does not hold: a hole in the firmware, counted always, and with Check
    // Errors on it stops the transfer at once.
    const bool acknowledged = IsAcknowledgement(reply);
    if (!acknowledged && AnswerBegun(reply) && t.Record.Record(FlagRule::WhileCheckingErrors, t.CheckErrors)) return true;
    if (!acknowledged && !MonitorStillAnswers(t)) return false;
    t.Progress.Advance();
    if (file.AtEnd()) return true;
  }
}

}  // namespace

StepResult SendProgramFile(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &program,
                           const BootDialect *dialect) {
  Transfer t{port, progress, checkErrors, {}};
  // Letters meant for one monitor could do anything to another: only the
  // known dialects are spoken to.
  if (!dialect) {
    t.Record.Record(FlagRule::Always);
    return t.Record.Result(port);
  }
  // Flagged whatever Check Errors holds when the monitor no longer answers.
  if (EraseAndEnterProgramming(t, *dialect) && !TransferRecords(t, program)) t.Record.Record(FlagRule::Always);
  return t.Record.Result(port);
}
