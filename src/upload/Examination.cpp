#include "Examination.h"

#include "Exchanges.h"
#include "ExaminationJournal.h"
#include "MonitorMode.h"
#include "ParameterListCheck.h"
#include "ParameterTransfer.h"
#include "Session.h"

#include <QDir>

#include <optional>

namespace {

const QString CR = QStringLiteral("\r");

// How far a verification got, for what a stop leaves behind: nothing is ever
// written, but a controller left in its monitor needs a power cycle.
enum class Reached { Nothing, Monitor, Application };

QString StateAfter(Reached reached) {
  switch (reached) {
    case Reached::Monitor:
      return QStringLiteral("Nothing in the controller was written: switch it off and on to bring it back from its "
                            "monitor.");
    case Reached::Application: return QStringLiteral("Nothing in the controller was written.");
    case Reached::Nothing: break;
  }
  return QStringLiteral("Nothing in the controller was changed.");
}

// The host stopped it or the adapter went away: said at the session's exit.
std::optional<UploadResult> Ended(Session &session, Reached reached) {
  UploadHost &host = session.Host;
  if (host.Port().Stopped()) {
    const QString why = host.HostEndingText();
    if (!why.isEmpty()) session.Say(why + CR + StateAfter(reached));
    return UploadResult::Interrupted;
  }
  if (!host.Port().Lost()) return std::nullopt;
  session.Say("The connection to " + host.PortName() + " was lost." + CR + StateAfter(reached));
  return UploadResult::ConnectionLost;
}

QString AnswerWords(const ControllerIdentity &identity) {
  if (identity.Contact.Application) return QStringLiteral("application answers");
  if (identity.Contact.Answer.Who == Answerer::BootMonitor)
    return "boot monitor answers (dialect " + QString::fromLatin1(PromptTag(*identity.Contact.Answer.Dialect).trimmed()) + ")";
  if (identity.Contact.Answer.Who == Answerer::ParameterMonitor) return QStringLiteral("parameter monitor answers");
  return QStringLiteral("nothing answers");
}

// The application has to answer before anything but a read goes out.
QString NoApplicationText(UploadHost &host, const ControllerIdentity &identity) {
  if (!identity.Answered()) return NotAnsweringText(host.PortName());
  return "The controller's application does not answer on " + host.PortName() + ", " +
         AnswererWords(identity.Contact) + " does." + CR +
         "Its program or its parameters are missing or incomplete: only a full upload brings it back.";
}

// After the power cycle a controller that was locked is locked again.
void RestoreLock(SerialPort &port, LockState before, VerifyRun &run) {
  if (before != LockState::Locked) return;
  const LockState after = ReadLockState(port);
  if (after == LockState::Locked) return;
  run.Lock = LockAfterVerify::Lost;
  if (after == LockState::Unknown) {
    run.LockNote = QStringLiteral("The controller was locked before; its lock could not be read afterwards.");
  } else if (LockController(port)) {
    run.Lock = LockAfterVerify::Relocked;
    run.LockNote = QStringLiteral("The controller was locked before and no longer after the power cycle: it was locked again.");
  } else {
    run.LockNote = QStringLiteral("The controller was locked before and no longer after the power cycle; locking it "
                                  "again failed.");
  }
}

UploadResult VerifySteps(Session &session, VerifyRun &run) {
  UploadHost &host = session.Host;
  SerialPort &port = host.Port();
  host.SetStep(Step::Identifying);
  host.Repaint();
  run.Identity = IdentifyController(port);
  if (auto ended = Ended(session, Reached::Nothing)) return *ended;
  if (!run.Identity.Contact.Application) {
    session.Say(NoApplicationText(host, run.Identity) + CR + "Nothing was compared and nothing was changed.");
    return UploadResult::Interrupted;
  }
  FailureRecord record;
  SetMonitorMode(host, record);
  SettledExchange(port, "\r", 1);
  if (auto ended = Ended(session, Reached::Monitor)) return *ended;
  if (!MonitorModeCheck(host)) {
    session.Say(InterruptionText("setting in monitor mode", session.Folder, false) + CR +
                "Nothing was compared and nothing was written: switch the controller off and on.");
    return UploadResult::Interrupted;
  }
  run.Comparison = CompareParameterList(host);
  if (auto ended = Ended(session, Reached::Monitor)) return *ended;
  if (AskToLeaveMonitor(host) == PromptAnswer::Abort) {
    const QString why = host.HostEndingText();
    if (!why.isEmpty()) session.Say(why + CR + StateAfter(Reached::Monitor));
    return UploadResult::Interrupted;
  }
  if (auto ended = Ended(session, Reached::Application)) return *ended;
  RestoreLock(port, run.Identity.Lock, run);
  session.Report(ComparisonText(run.Comparison) + (run.LockNote.isEmpty() ? QString() : CR + run.LockNote));
  return UploadResult::Uploaded;
}

const IdBackup *RowsRead(const ControllerIdentity &identity) {
  return identity.Contact.Application ? &identity.Rows : nullptr;
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
    host.SetStep(Step::Identifying);
    host.Repaint();
    run.Identity = IdentifyController(host.Port());
    run.Result = Ended(session, Reached::Nothing).value_or(UploadResult::Uploaded);
  }
  run.Journalled = session.Exit(
      ExaminationEntry(host, {QStringLiteral("identify"), started, false, RowsRead(run.Identity), IdentifyOutcome(run)}));
  if (ready) host.SetBusy(false);
  return run;
}

VerifyRun RunVerify(UploadHost &host, const QDir &folder) {
  VerifyRun run;
  Session session(host, folder, ExaminationSessionTexts());
  const QDateTime started = QDateTime::currentDateTime();
  QString message;
  bool busy = false;
  if (host.ParameterFile().isEmpty()) {
    session.Say(QStringLiteral("Select a valid parameter list!"));
  } else if (!CheckParameterList(host.ParameterFile(), false, &message)) {
    session.Say(message);
  } else if (session.Ready()) {
    busy = true;
    host.SetBusy(true);
    run.Result = UploadResult::PortNotOpened;
    if (session.OpenPort()) {
      host.UploadStarted();
      host.Repaint();
      run.Result = VerifySteps(session, run);
    }
  }
  run.Journalled = session.Exit(
      ExaminationEntry(host, {QStringLiteral("verify"), started, true, RowsRead(run.Identity), VerifyOutcome(run)}));
  if (busy) host.SetBusy(false);
  return run;
}
