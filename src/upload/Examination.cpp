#include "Examination.h"

#include "Exchanges.h"
#include "JournalLine.h"
#include "MonitorMode.h"
#include "ParameterListCheck.h"
#include "ParameterTransfer.h"
#include "Session.h"
#include "UploadTexts.h"

#include <QDir>

#include <optional>

namespace {

const QString CR = QStringLiteral("\r");
using Reached = ExaminationReached;

// The host stopped it or the adapter went away: said at the session's exit.
std::optional<UploadResult> Ended(Session &session, Reached reached) {
  UploadHost &host = session.Host;
  if (host.Port().Stopped()) {
    const QString why = host.HostEndingText();
    if (!why.isEmpty()) session.Say(why + CR + ExaminationStateText(reached));
    return UploadResult::Interrupted;
  }
  if (!host.Port().Lost()) return std::nullopt;
  session.Say("The connection to " + host.PortName() + " was lost." + CR + ExaminationStateText(reached));
  return UploadResult::ConnectionLost;
}

QString AnswerWords(const ControllerIdentity &identity) {
  if (identity.Contact.Application) return QStringLiteral("application answers");
  if (identity.Contact.Answer.Who == Answerer::BootMonitor)
    return "boot monitor answers (dialect " + identity.Contact.Answer.Dialect->Name() + ")";
  if (identity.Contact.Answer.Who == Answerer::ParameterMonitor) return QStringLiteral("parameter monitor answers");
  return QStringLiteral("nothing answers");
}

// After the power cycle a controller that was locked is locked again.
void RestoreLock(SerialPort &port, LockState before, VerifyRun &run) {
  if (before != LockState::Locked) return;
  const LockState after = ReadLockState(port);
  if (after == LockState::Locked) return;
  run.Lock = LockAfterVerify::Lost;
  if (after == LockState::Unknown) {
    run.LockNote = LockUnreadText();
  } else if (LockController(port)) {
    run.Lock = LockAfterVerify::Relocked;
    run.LockNote = RelockedText();
  } else {
    run.LockNote = RelockFailedText();
  }
}

UploadResult VerifySteps(Session &session, const InputFile &list, VerifyRun &run) {
  UploadHost &host = session.Host;
  SerialPort &port = host.Port();
  StepProgress progress(host);
  progress.Begin(Step::Identifying, {Shown, Repainted});
  run.Identity = IdentifyController(port);
  if (auto ended = Ended(session, Reached::Nothing)) return *ended;
  if (!run.Identity.Contact.Application) {
    session.Say(NoApplicationText(host.PortName(), run.Identity.Answered(), AnswererWords(run.Identity.Contact)) + CR +
                NothingComparedText());
    return UploadResult::Interrupted;
  }
  SetMonitorMode(port, progress);
  SettledExchange(port, "\r", 1);
  if (auto ended = Ended(session, Reached::Monitor)) return *ended;
  if (!ConfirmMonitorMode(port)) {
    session.Say(InterruptionText("setting in monitor mode", session.Folder, false) + CR + MonitorNotReachedText());
    return UploadResult::Interrupted;
  }
  run.Comparison = CompareParameterList(port, progress, list);
  if (auto ended = Ended(session, Reached::Monitor)) return *ended;
  if (AskToLeaveMonitor(host) == PromptAnswer::Abort) {
    const QString why = host.HostEndingText();
    if (!why.isEmpty()) session.Say(why + CR + ExaminationStateText(Reached::Monitor));
    return UploadResult::Interrupted;
  }
  if (auto ended = Ended(session, Reached::Application)) return *ended;
  RestoreLock(port, run.Identity.Lock, run);
  session.Report(ComparisonText(run.Comparison) + (run.LockNote.isEmpty() ? QString() : CR + run.LockNote));
  return UploadResult::Uploaded;
}

// What every look at a controller records in the journal.
OperationFacts FactsOf(UploadHost &host, const QString &mode, const QDateTime &started,
                       const ControllerIdentity &identity, const QString &outcome) {
  OperationFacts facts;
  facts.Mode = mode;
  facts.Started = started;
  facts.CheckErrors = host.CheckErrors();
  // As for an upload: a port given by its path has no number.
  facts.PortNumber = host.PortGivenByPath() ? 0 : host.ComPort();
  facts.Device = host.JournalDevice();
  facts.RowsKnown = identity.Contact.Application;
  facts.Rows = identity.Rows;
  facts.Outcome = outcome;
  facts.ExchangesRepeated = host.Port().Repeats().Exchanges;
  return facts;
}

// Why the chosen list cannot be compared; empty when it can.
QString ListRefusal(UploadHost &host, const Checked<InputFile> &list) {
  if (host.ParameterFile().isEmpty()) return QStringLiteral("Select a valid parameter list!");
  if (!list) return list.Why;
  const Verdict fit = CheckParameterList(*list, false);
  return fit ? QString() : fit.Why;
}

}  // namespace

QString IdentifyOutcome(const IdentifyRun &run) {
  if (run.Result != UploadResult::Uploaded) return ResultWords(run.Result);
  return "identified: " + AnswerWords(run.Identity);
}

QString VerifyOutcome(const VerifyRun &run) {
  QString words;
  if (run.Result != UploadResult::Uploaded) words = ResultWords(run.Result);
  else if (run.LockNotRestored()) words = QStringLiteral("verified: equal, lock not restored");
  else if (run.Equal()) words = QStringLiteral("verified: equal");
  else words = QStringLiteral("verified: %1 record(s) differ").arg(run.Comparison.Counts().Different);
  if (!run.LockNote.isEmpty()) words += "; " + run.LockNote;
  return words;
}

IdentifyRun RunIdentify(UploadHost &host, const QDir &folder) {
  IdentifyRun run;
  Session session(host, folder, ExaminationSessionTexts());
  const QDateTime started = QDateTime::currentDateTime();
  const bool ready = session.Ready();
  if (ready) host.SetBusy(true);
  if (ready) run.Result = UploadResult::PortNotOpened;
  if (ready && session.OpenPort()) {
    StepProgress(host).Begin(Step::Identifying, {Shown, Repainted});
    run.Identity = IdentifyController(host.Port());
    run.Result = Ended(session, Reached::Nothing).value_or(UploadResult::Uploaded);
  }
  run.Journalled =
      session.Exit(JournalEntryFor(FactsOf(host, QStringLiteral("identify"), started, run.Identity, IdentifyOutcome(run))));
  if (ready) host.SetBusy(false);
  return run;
}

VerifyRun RunVerify(UploadHost &host, const QDir &folder) {
  VerifyRun run;
  Session session(host, folder, ExaminationSessionTexts());
  const QDateTime started = QDateTime::currentDateTime();
  // Read once: the list compared is the list checked, whatever the file does meanwhile.
  const Checked<InputFile> list =
      host.ParameterFile().isEmpty() ? Checked<InputFile>{} : ReadInputFile(ParameterListKind(), host.ParameterFile());
  const QString refusal = ListRefusal(host, list);
  if (!refusal.isEmpty()) session.Say(refusal);
  const bool ready = refusal.isEmpty() && session.Ready();
  if (ready) host.SetBusy(true);
  if (ready) run.Result = UploadResult::PortNotOpened;
  if (ready && session.OpenPort()) {
    host.UploadStarted();
    host.Repaint();
    run.Result = VerifySteps(session, *list, run);
  }
  OperationFacts facts = FactsOf(host, QStringLiteral("verify"), started, run.Identity, VerifyOutcome(run));
  facts.ParameterList = host.ParameterFile();
  if (list) facts.ParameterListSha256 = list->Sha256;
  run.Journalled = session.Exit(JournalEntryFor(facts));
  if (ready) host.SetBusy(false);
  return run;
}
