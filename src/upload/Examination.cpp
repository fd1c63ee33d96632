#include "Examination.h"

#include "Exchanges.h"
#include "ExaminationJournal.h"
#include "Journal.h"
#include "MonitorMode.h"
#include "ParameterListCheck.h"
#include "ParameterTransfer.h"
#include "WorkingFolder.h"

#include <QDir>

#include <memory>
#include <optional>

namespace {

const QString CR = QStringLiteral("\r");

// The working folder's lock and its journal, checked before anything is
// sent, as for an upload; the line is written while the lock is held.
struct Session {
  UploadHost &host;
  QDir folder;
  ExaminationNote note;
  std::unique_ptr<QLockFile> lock;
  QString journal;
};

bool SessionReady(Session &session) {
  const QDir &folder = session.folder;
  QString reason;
  session.lock = ClaimFolder(folder, &reason);
  session.journal = JournalPathFor(folder, session.host.JournalFile());
  if (session.lock && JournalUsable(session.journal, &reason)) return true;
  session.host.Message(QStringLiteral("The working folder %1 cannot take the journal line: %2.")
                           .arg(QDir::toNativeSeparators(folder.absolutePath()), reason) +
                       CR + "Nothing was sent.");
  return false;
}

void WriteJournalLine(Session &session, const QString &outcome) {
  session.note.Outcome = outcome;
  QString reason;
  if (AppendToJournal(session.journal, ExaminationEntry(session.host, session.note), &reason)) return;
  session.host.Message(QStringLiteral("The journal %1 could not be written: %2.")
                           .arg(QDir::toNativeSeparators(session.journal), reason));
}

bool PortOpened(UploadHost &host) {
  SerialPort &port = host.Port();
  port.SetPortNumber(host.ComPort());
  port.SetDevice(host.ComPortDevice());
  if (port.Open()) return true;
  host.Message(host.PortOpenFailure().replace(QStringLiteral("The upload has not been started."),
                                              QStringLiteral("Nothing was sent.")));
  return false;
}

// The host stopped it or the adapter went away.
std::optional<UploadResult> Lost(UploadHost &host) {
  if (host.Port().Stopped()) return UploadResult::Interrupted;
  if (!host.Port().Lost()) return std::nullopt;
  host.Message("The connection to " + host.PortName() + " was lost.");
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
QString RestoreLock(SerialPort &port, LockState before) {
  if (before != LockState::Locked) return {};
  const LockState after = ReadLockState(port);
  if (after == LockState::Locked) return {};
  if (after == LockState::Unknown)
    return QStringLiteral("The controller was locked before; its lock could not be read afterwards.");
  if (LockController(port))
    return QStringLiteral("The controller was locked before and no longer after the power cycle: it was locked again.");
  return QStringLiteral("The controller was locked before and no longer after the power cycle; locking it again "
                        "failed.");
}

UploadResult VerifySteps(UploadHost &host, const QDir &folder, VerifyRun &run) {
  SerialPort &port = host.Port();
  host.SetStep(Step::Identifying);
  host.Repaint();
  run.Identity = IdentifyController(port);
  if (auto lost = Lost(host)) return *lost;
  if (!run.Identity.Contact.Application) {
    host.Message(NoApplicationText(host, run.Identity) + CR + "Nothing was compared and nothing was changed.");
    return UploadResult::Interrupted;
  }
  FailureRecord record;
  SetMonitorMode(host, record);
  SettledExchange(port, "\r", 1);
  if (auto lost = Lost(host)) return *lost;
  if (!MonitorModeCheck(host)) {
    host.Message(InterruptionText("setting in monitor mode", folder, false) + CR +
                 "Nothing was compared and nothing was written: switch the controller off and on.");
    return UploadResult::Interrupted;
  }
  run.Comparison = CompareParameterList(host);
  if (auto lost = Lost(host)) return *lost;
  if (AskToLeaveMonitor(host) == PromptAnswer::Abort) return UploadResult::Interrupted;
  if (auto lost = Lost(host)) return *lost;
  run.LockNote = RestoreLock(port, run.Identity.Lock);
  host.Uploaded(ComparisonText(run.Comparison) + (run.LockNote.isEmpty() ? QString() : CR + run.LockNote));
  return UploadResult::Uploaded;
}

}  // namespace

QString IdentifyOutcome(const IdentifyRun &run) {
  if (run.Result != UploadResult::Uploaded) return ResultWords(run.Result);
  return "identified: " + AnswerWords(run.Identity);
}

QString VerifyOutcome(const VerifyRun &run) {
  QString words;
  if (run.Result != UploadResult::Uploaded) words = ResultWords(run.Result);
  else if (run.Equal()) words = QStringLiteral("verified: equal");
  else words = QStringLiteral("verified: %1 record(s) differ").arg(run.Comparison.Counts().Different);
  if (!run.LockNote.isEmpty()) words += "; " + run.LockNote;
  return words;
}

IdentifyRun RunIdentify(UploadHost &host, const QDir &folder) {
  IdentifyRun run;
  Session session{host, folder, {QStringLiteral("identify"), QDateTime::currentDateTime(), false, nullptr, {}}, nullptr, {}};
  if (!SessionReady(session)) return run;
  host.SetBusy(true);
  run.Result = UploadResult::PortNotOpened;
  if (PortOpened(host)) {
    host.SetStep(Step::Identifying);
    host.Repaint();
    run.Identity = IdentifyController(host.Port());
    run.Result = Lost(host).value_or(UploadResult::Uploaded);
    host.Port().Close();
  }
  session.note.Rows = run.Identity.Contact.Application ? &run.Identity.Rows : nullptr;
  WriteJournalLine(session, IdentifyOutcome(run));
  host.SetBusy(false);
  return run;
}

VerifyRun RunVerify(UploadHost &host, const QDir &folder) {
  VerifyRun run;
  if (host.ParameterFile().isEmpty()) {
    host.Message(QStringLiteral("Select a valid parameter list!"));
    return run;
  }
  QString message;
  if (!CheckParameterList(host.ParameterFile(), false, &message)) {
    host.Message(message);
    return run;
  }
  Session session{host, folder, {QStringLiteral("verify"), QDateTime::currentDateTime(), true, nullptr, {}}, nullptr, {}};
  if (!SessionReady(session)) return run;
  host.SetBusy(true);
  run.Result = UploadResult::PortNotOpened;
  if (PortOpened(host)) {
    host.UploadStarted();
    host.Repaint();
    run.Result = VerifySteps(host, folder, run);
    host.Port().Close();
    host.UploadEnded();
  }
  session.note.Rows = run.Identity.Contact.Application ? &run.Identity.Rows : nullptr;
  WriteJournalLine(session, VerifyOutcome(run));
  host.SetBusy(false);
  return run;
}
