#include "ProgramTransfer.h"

#include "Exchanges.h"
#include "FieldReader.h"
#include "ReplySlices.h"
#include "TextChars.h"

#include <algorithm>
#include <climits>

namespace {

// A programming-mode command that drew no answer is sent again; one that
// reaches a monitor already in programming mode is answered "?" there.
constexpr int ProgrammingAttempts = 4;
// The CR check after a record: a prompt the line spoiled is asked again. At
// 1 in 100 a prompt of a dozen characters is spoiled about one time in four;
// six checks leave about one in 4,000 records unconfirmed.
constexpr int PromptCheckAttempts = 6;
// A monitor whose flash was erased in the middle of the transfer (a record
// whose 'S' was lost reads as its letters to some monitors) is programmed
// again from the erase, at most this many times.
constexpr int TransferRestarts = 3;

// What the transfer works with: the line, the bar, and its own record.
struct Transfer {
  SerialPort &Port;
  StepProgress &Progress;
  bool CheckErrors;
  const BootDialect &Dialect;
  FailureRecord Record;
};

enum class Sent {
  Done,       // acknowledged, or let pass as Check Errors allows
  Stop,       // refused, and Check Errors stops the transfer
  Gone,       // the monitor no longer answers
  Restarted,  // the monitor erased its flash meanwhile: program it again
};

bool ShowsErase(const Transfer &t, const QByteArray &reply) {
  return !t.Dialect.EraseAnswer.isEmpty() && reply.contains(t.Dialect.EraseAnswer);
}

// Sends an erase command until its answer reads as the dialect's erase
// answer; false when it never does and Check Errors makes that stop the
// transfer. A dialect without an erase answer is sent the command once.
bool Erase(Transfer &t, char command) {
  const QByteArray &erased = t.Dialect.EraseAnswer;
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) t.Port.NoteRepeat(QStringLiteral("erase command"));
    const QByteArray reply = MonitorExchangeCount(t.Port, QByteArray(1, command), 10);
    if (erased.isEmpty() || Slice(reply, 4, int(erased.size())) == erased) {
      t.Port.CountRepeats(attempt - 1);
      return true;
    }
    if (t.Port.Ended() || attempt >= EraseAttempts) break;
  }
  return !t.Record.Record(FlagRule::WhileCheckingErrors, t.CheckErrors);
}

// The programming-mode command's answer is not examined beyond this: silence,
// or an erase (the letter changed on the line), and it is sent again.
void EnterProgramming(Transfer &t) {
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) t.Port.NoteRepeat(QStringLiteral("programming-mode command"));
    const QByteArray reply = MonitorExchangeCount(t.Port, QByteArray(1, t.Dialect.Programming), 10);
    if (!reply.isEmpty() && !ShowsErase(t, reply)) return t.Port.CountRepeats(attempt - 1);
    if (t.Port.Ended() || attempt >= ProgrammingAttempts) return;
  }
}

bool EraseAndEnterProgramming(Transfer &t) {
  StepProgress &progress = t.Progress;
  progress.Begin(Step::ClearingFlash, {Shown, Minimum(0), Maximum(6), At(0)});
  progress.Wait(0.5);

  if (!Erase(t, t.Dialect.FlashErase)) return false;
  progress.Set(1);
  progress.Wait(0.2);
  progress.Set(2);
  progress.Wait(0.5);

  progress.Caption(Step::ClearingEeprom);
  if (!Erase(t, t.Dialect.EepromErase)) return false;
  progress.Set(3);
  progress.Wait(0.2);
  progress.Set(4);
  progress.Wait(0.5);

  progress.Caption(Step::EnteringProgramming);
  EnterProgramming(t);
  progress.Set(5);
  progress.Wait(0.2);
  progress.Set(6);
  progress.Wait(0.2);
  return true;
}

// After an unacknowledged record: is the monitor still there? The line is let
// settle so a prompt longer than ten bytes cannot spoil the next record's
// answer. What came late meanwhile (a "*", an erase's answer) is added to
// `heard`, and the prompt's own answer too.
bool MonitorStillAnswers(Transfer &t, QByteArray &heard) {
  t.Progress.Wait(0.2);
  heard += TakeWaiting(t.Port);
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) t.Port.NoteRepeat(QStringLiteral("lone CR after a record"));
    const QByteArray prompt = SettledExchange(t.Port, "\r", 10);
    // Its tag moved by a byte the line lost or added still says it is there.
    if (PromptDialect(prompt) || prompt.contains(t.Dialect.Tag)) {
      t.Port.CountRepeats(attempt - 1);
      return true;
    }
    heard += prompt;
    if (t.Port.Ended() || attempt >= PromptCheckAttempts) return false;
  }
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

// Sends one record until the monitor acknowledges it: never skipped, sent
// again once the monitor's prompt has been seen. A late "*" (within the
// pause before the CR check) counts as the acknowledgement it is. Only after
// the last attempt is the record a hole, counted always, and with Check
// Errors on it stops the transfer.
Sent SendRecord(Transfer &t, const QByteArray &record, qint64 line) {
  int refused = 0;
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) t.Port.NoteRepeat(QStringLiteral("S-record of line %1").arg(line));
    QByteArray heard = MonitorExchangeUntil(t.Port, record, AnswerBegun);
    refused += AnswerBegun(heard) && !IsAcknowledgement(heard);
    const bool answers = IsAcknowledgement(heard) || MonitorStillAnswers(t, heard);
    if (IsAcknowledgement(heard)) {
      t.Port.CountRepeats(attempt - 1, true);
      return Sent::Done;
    }
    if (ShowsErase(t, heard)) return Sent::Restarted;
    if (!answers) return Sent::Gone;
    // A blank line sends nothing, so nothing is owed for it.
    if (record.isEmpty()) return Sent::Done;
    if (attempt < RecordAttempts && refused < RefusedRecordAttempts) continue;
    return t.Record.Record(FlagRule::WhileCheckingErrors, t.CheckErrors) ? Sent::Stop : Sent::Done;
  }
}

// Streams the program one record per exchange.
Sent TransferRecords(Transfer &t, const InputFile &program) {
  t.Progress.Begin(Step::SendingProgram,
                   {Shown, Minimum(0), At(0), Maximum(static_cast<int>(qMin<qint64>(program.Lines, INT_MAX)))});
  InputReader input(program);
  FieldReader &file = input.Fields();
  for (qint64 line = 1;; ++line) {
    const Sent sent = SendRecord(t, file.ReadField(), line);
    if (sent != Sent::Done) return sent;
    t.Progress.Advance();
    if (file.AtEnd()) return Sent::Done;
  }
}

}  // namespace

StepResult SendProgramFile(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &program,
                           const BootDialect *dialect) {
  // Letters meant for one monitor could do anything to another: only the
  // known dialects are spoken to.
  if (!dialect) {
    FailureRecord record;
    record.Record(FlagRule::Always);
    return record.Result(port);
  }
  Transfer t{port, progress, checkErrors, *dialect, {}};
  for (int run = 0; run <= TransferRestarts; ++run) {
    if (run > 0) port.NoteRepeat(QStringLiteral("program transfer from the erase"));
    if (!EraseAndEnterProgramming(t)) break;
    const Sent sent = TransferRecords(t, program);
    if (sent == Sent::Done) port.CountRepeats(run);
    // Flagged whatever Check Errors holds when the monitor no longer answers,
    // or keeps erasing what it was sent.
    if (sent == Sent::Gone || (sent == Sent::Restarted && run == TransferRestarts)) t.Record.Record(FlagRule::Always);
    if (sent != Sent::Restarted) break;
  }
  return t.Record.Result(port);
}
