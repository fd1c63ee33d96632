#include "UploadDriver.h"

#include "Exchanges.h"
#include "FirstContact.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "IdentificationRestore.h"
#include "Journal.h"
#include "JournalLine.h"
#include "KeptBackups.h"
#include "MonitorMode.h"
#include "ParameterListCheck.h"
#include "ParameterTransfer.h"
#include "PortList.h"
#include "ProgramFileCheck.h"
#include "ProgramTransfer.h"
#include "ReplyCollector.h"
#include "Session.h"
#include "WindowProtocol.h"
#include "WorkingFolder.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

const QString CR = QStringLiteral("\r");

// One press of Start Upload: what it has read and what has gone wrong.
struct Upload {
  Upload(Session &s, const FinishRequest *request)
      : session(s), host(s.Host), folder(s.Folder), finish(request),
        kind(request ? request->Attempt.Kind : s.Host.UploadMode()) {
    if (request) last = request->Attempt.LastCompleted;
  }
  Session &session;  // the folder, the journal, the port and the last messages
  UploadHost &host;
  QDir folder;  // the working folder: backups, journal, lock
  const FinishRequest *finish;  // the attempt this run finishes; null: an upload as chosen
  UploadKind kind;
  QByteArray tag;  // the boot monitor's prompt tag, once bridged into it
  BackupFiles backupFiles;  // what the backup step wrote and kept
  FailureRecord record;
  IdBackup rows = BlankBackup();
  std::optional<Stage> last;  // the last stage completed, by this run or the attempt it finishes
  FirstContact contact;       // a finish: what answered first
  bool endedByHost = false;
  QString ending;  // the journal's words for the first ending the technician is told of
  QString valuesFrom;  // the backup file whose values replace those read, when they are not the controller's own
  RestoreRound lastRound = RestoreRound::Written;
  bool restoreSent = false;  // the restore dialog's last showing wrote its values
  bool programHole = false;  // a record was let pass: the program, and all after it, do not count as done
};

using Ending = std::optional<UploadResult>;

// A window that got no byte back: the line or the controller's power, not the values.
QString NotAnswering(UploadHost &host) { return NotAnsweringText(host.PortName()); }

Remains RemainsNow(const Upload &up) { return RemainsAfter(up.kind, up.last); }

bool HoldsValues(const QString &path) {
  std::array<QByteArray, IdWindowCount> values;
  QString error;
  return !path.isEmpty() && ReadBackupValues(path, values, &error);
}

// The backup a finish of this run writes back: the one it went on with, else its own.
QString ValuesForFinish(const Upload &up) {
  if (!up.valuesFrom.isEmpty()) return up.valuesFrom;
  return HoldsValues(up.backupFiles.Own) ? up.backupFiles.Own : QString();
}

// What the controller needs now and the one way on, when it needs more than
// a plain upload.
QString WayOn(Upload &up) {
  const QString needs = NeedsText(up.kind, RemainsNow(up));
  if (needs.isEmpty()) return {};
  return CR + needs + CR + up.host.FinishHint(ValuesForFinish(up));
}

// After the host's reason for ending: the state it left and the way on.
QString HostEndingState(Upload &up) {
  if (RemainsNow(up) == Remains::Everything)
    return CR + QStringLiteral("Nothing in the controller was changed: remove the bridge of pins 5 and 9 if it is "
                               "made, and switch the controller off and on.");
  const QString tail = up.backupFiles.Written.isEmpty() ? QString() : InterruptionTail(up.folder);
  return tail + WayOn(up);
}

// The host answered Abort or a stop signal came: its reason, shown last.
UploadResult HostEnded(Upload &up) {
  if (up.endedByHost) return UploadResult::Interrupted;
  up.endedByHost = true;
  const QString why = up.host.HostEndingText();
  if (!why.isEmpty()) up.session.Say(why + HostEndingState(up));
  return UploadResult::Interrupted;
}

bool FailureRule(Upload &up, const StepOutcome &outcome) {
  return outcome.End == StepEnd::Failed && up.host.CheckErrors();
}

// An ending that says all there is to say: the message (shown at the
// upload's end, after its journal line is written), the journal's words for
// it, and the failure flagged cleared.
UploadResult EndSaying(Upload &up, const QString &text, const QString &ending) {
  if (up.host.Port().Stopped()) return HostEnded(up);
  if (up.ending.isEmpty()) up.ending = ending;
  up.record.ClearFlag(true);
  up.session.Say(text);
  return UploadResult::Interrupted;
}

// Every other ending short of success: followed by what the controller needs.
UploadResult EndWithMessage(Upload &up, const QString &text, const QString &ending) {
  if (up.host.Port().Stopped()) return HostEnded(up);
  return EndSaying(up, text + WayOn(up), ending);
}

// The success message, likewise shown once the line is written.
UploadResult Succeeded(Upload &up, const QString &text) {
  if (up.host.Port().Stopped()) return HostEnded(up);
  up.session.Report(text);
  return UploadResult::Uploaded;
}

UploadResult AbortUpload(Upload &up, const QString &step) {
  const QString &detail = up.record.Detail;
  return EndWithMessage(up, InterruptionText(step, up.folder) + (detail.isEmpty() ? QString() : CR + detail),
                        "interrupted at " + step);
}

// An ending no test point names: the journal gives the reason the step
// returned (its first line), never a message read back.
QString EndingFor(const QString &reason) { return "interrupted: " + reason.section('\r', 0, 0); }

// The adapter went away: nothing more can reach the controller, so the
// sequence ends here rather than running into one time-out after another.
// A stop signal ends it too, the host having said why.
Ending LinkEnded(Upload &up) {
  if (up.host.Port().Stopped()) return HostEnded(up);
  if (!up.host.Port().Lost()) return std::nullopt;
  EndWithMessage(up, "The connection to " + up.host.PortName() + " was lost." + InterruptionTail(up.folder),
                 "connection lost");
  return UploadResult::ConnectionLost;
}

// A test point after the step named `step`.
Ending TestPoint(Upload &up, const StepOutcome &outcome, const QString &step) {
  if (outcome.End != StepEnd::Done && outcome.End != StepEnd::Failed) return LinkEnded(up);
  if (!FailureRule(up, outcome)) return std::nullopt;
  return AbortUpload(up, step);
}

// Asks for a power cycle, the bridge between pins 5 and 9 made or removed as
// `kind` says, until the boot monitor's prompt tag satisfies `done`.
template <typename Done>
Ending PromptUntil(Upload &up, PromptKind kind, Done done) {
  const QString message = kind == PromptKind::Bridge ? BridgePromptText() : BridgeRemovalPromptText();
  QByteArray tag;
  bool again = false;
  do {
    if (up.host.Prompt(kind, message, again) == PromptAnswer::Abort) return HostEnded(up);
    tag = PromptTagOf(MonitorExchangeCount(up.host.Port(), "\r", 10));
    if (auto ended = LinkEnded(up)) return ended;
    again = true;
  } while (!done(tag));
  if (kind == PromptKind::Bridge) up.tag = tag;
  return std::nullopt;
}

// The write comes after the controller was reached (and, in the full mode,
// bridged into its boot monitor): say what state it is left in. A finish
// writes the values it goes on with; its attempt's own copy holds them already.
Ending WriteBackup(Upload &up) {
  QString error;
  const OwnCopy own = up.finish ? OwnCopy::None : OwnCopy::Keep;
  if (WriteParameterLog(up.folder, up.rows, &error, &up.backupFiles, own)) return std::nullopt;
  if (up.finish) return EndWithMessage(up, error + CR + InterruptionSentence(), EndingFor(error));
  QString state = QStringLiteral("Nothing in the controller was changed.");
  if (up.kind == UploadKind::Full)
    state += QStringLiteral(" It waits in its boot monitor: take the bridge off pins 5 and 9, then switch "
                            "it off and on again.");
  return EndSaying(up, error + CR + InterruptionSentence() + CR + state, EndingFor(error));
}

// What answers instead of the application.
QString MonitorAnswers(UploadHost &host, const LineAnswer &answer) {
  const QString where = "The controller's application does not answer on " + host.PortName();
  if (answer.Who == Answerer::BootMonitor)
    return where + ", its boot monitor does (dialect " + QString::fromLatin1(PromptTag(*answer.Dialect).trimmed()) + ").";
  return where + ", a monitor does.";
}

// What that means, when no attempt in the journal says more.
QString MonitorMeans(const LineAnswer &answer) {
  if (answer.Who == Answerer::BootMonitor)
    return QStringLiteral("Its pins 5 and 9 are bridged, or its program is missing: remove the bridge, switch the "
                          "controller off and on, and start the upload again. If its boot monitor still answers, a "
                          "full upload with the identification values of a backup of this controller finishes the job.");
  return QStringLiteral("Its program or its parameters are missing or incomplete, as an upload that did not finish "
                        "leaves them.") +
         CR + "A full upload with the identification values of a backup of this controller finishes the job.";
}

// The controller answers only as a monitor: an attempt the journal knows of
// is finished from where it stopped; else only a full upload with a backup's
// values brings it back, which goes on here when the host names one.
Ending FinishOrEnd(Upload &up, const LineAnswer &answer) {
  UploadHost &host = up.host;
  const QString journal = JournalPathFor(up.folder, host.JournalFile());
  const std::optional<UnfinishedAttempt> attempt = NewestUnfinished(journal, up.folder, host.JournalDevice());
  const QString said = MonitorAnswers(host, answer);
  const bool known = attempt && attempt->CanBeFinished();
  const QString means = known ? NeedsText(attempt->Kind, attempt->What) : MonitorMeans(answer);
  const bool full = up.kind == UploadKind::Full;
  FinishOffer offer{answer, said + CR + means, BackupToFinishWith(up.folder, journal, host.JournalDevice())};
  const QString chosen = full ? host.FinishWithBackup(offer) : QString();
  if (!chosen.isEmpty()) {
    std::array<QByteArray, IdWindowCount> values;
    QString error;
    if (!ReadBackupValues(chosen, values, &error))
      return EndSaying(up, error + CR + InterruptionSentence(), "interrupted at saving parameters: " + error);
    for (int r = 0; r < IdWindowCount; ++r) {
      up.rows[r].Value = values[r];
      up.rows[r].ReadFailed = false;
    }
    up.valuesFrom = QFileInfo(chosen).absoluteFilePath();
    up.record = {};
    return std::nullopt;
  }
  const QString hint = known ? host.FinishHint(attempt->OwnBackupHoldsValues ? attempt->OwnBackup : QString())
                             : host.RescueHint(offer.Backup ? offer.Backup->Path : QString());
  return EndSaying(up, "Error during saving parameters." + CR + InterruptionSentence() + CR + said + CR + means + CR + hint,
                   answer.Who == Answerer::BootMonitor ? "interrupted at saving parameters: boot monitor answers"
                                                       : "interrupted at saving parameters: monitor answers");
}

// The backup step read the controller and nothing else: nothing was changed
// and no backup was written, so the usual pointer at one needs a word more.
Ending SaveIdentification(Upload &up) {
  const StoredParameters stored = StoreControllerParameters(up.host, up.record);
  up.rows = stored.Rows;
  if (stored.Outcome.End != StepEnd::Done && stored.Outcome.End != StepEnd::Failed) return LinkEnded(up);
  if (stored.MonitorAnswered()) return FinishOrEnd(up, stored.Answer);
  if (!FailureRule(up, stored.Outcome)) return std::nullopt;
  const QString unwritten = QStringLiteral("did not write %1.").arg(BackupFileName);
  QString said = "Nothing in the controller was changed, and this upload " + unwritten;
  if (stored.FirstUnanswered) said = NotAnswering(up.host) + " This upload changed nothing in it and " + unwritten;
  const QString &detail = stored.Outcome.Detail;
  return EndSaying(up, InterruptionText("saving parameters", up.folder, false) + CR + said +
                           (detail.isEmpty() ? QString() : CR + detail),
                   QStringLiteral("interrupted at saving parameters"));
}

Ending BridgeIntoBootMonitor(Upload &up) {
  return PromptUntil(up, PromptKind::Bridge, [](const QByteArray &t) { return BootDialectOf(t).has_value(); });
}

Ending ProgramController(Upload &up) {
  const qint32 before = up.record.Count;
  const Ending ending = TestPoint(up, SendProgramFile(up.host, up.record, BootDialectOf(up.tag)), "Programming Controller");
  // A record let pass leaves a hole that only programming it again mends.
  up.programHole = up.record.Count > before;
  return ending;
}

// Only the "(E)" monitor's tag keeps this loop going; any other ends it.
Ending RemoveBridge(Upload &up) {
  return PromptUntil(up, PromptKind::Unbridge, [](const QByteArray &t) { return BootDialectOf(t) != BootDialect::E; });
}

Ending SendFullUploadCrc(Upload &up) { return TestPoint(up, SendCrc(up.host, up.record, FullUploadCrc), "CRC verifyng"); }

// "C", "E" and "R" are the boot monitor's commands too, erase among them: none
// goes out before the parameter monitor has answered "Q" to "U", whatever
// Check Errors says.
Ending CheckInMonitor(Upload &up) {
  // The monitor's prompt is let settle, or its tail would be read as the
  // answer to the check that follows.
  SettledExchange(up.host.Port(), "\r", 1);
  if (auto ended = LinkEnded(up)) return ended;
  if (MonitorModeCheck(up.host)) return std::nullopt;
  up.record.Record(FlagRule::CountOnly);
  return AbortUpload(up, "setting in monitor mode");
}

Ending EnterMonitor(Upload &up) {
  SetMonitorMode(up.host, up.record);
  return CheckInMonitor(up);
}

Ending SendListCrc(Upload &up) {
  qint32 crc = 0;
  QString error;
  if (!ReadParameterCrc(up.host.ParameterFile(), crc, &error))
    return EndWithMessage(up, error + InterruptionTail(up.folder), EndingFor(error));
  return TestPoint(up, SendCrc(up.host, up.record, crc), "CRC verifyng");
}

Ending TransferParameters(Upload &up) {
  SendParameterList(up.host, up.record);
  return TestPoint(up, VerifyParameterList(up.host, up.record), "file parameters writing");
}

// Asked to switch off and on until the controller no longer answers as the monitor.
Ending LeaveMonitor(Upload &up) {
  if (AskToLeaveMonitor(up.host) == PromptAnswer::Abort) return HostEnded(up);
  return LinkEnded(up);
}

// The windows a Cancel leaves blank in the controller: every one after an
// erase, else those that read blank where a kept backup holds a value.
QList<int> StaysBlank(Upload &up) {
  const QList<int> every = {310, 311, 319, 320, 321, 322, 323, 324, 325};
  if (up.kind == UploadKind::Full) return every;
  const BlankVerdict blanks = JudgeBlanks(up.rows, KeptValuesIn(up.folder));
  return blanks.Erased ? every : blanks.SuspectWindows();
}

QString StaysBlankText(const QList<int> &windows) {
  if (windows.size() == IdWindowCount) return QStringLiteral("every identification window stays blank");
  QStringList numbers;
  for (int w : windows) numbers << QString::number(w);
  return (windows.size() == 1 ? "window " : "windows ") + numbers.join(", ") +
         (windows.size() == 1 ? " stays blank" : " stay blank");
}

PromptAnswer ShowRestore(Upload &up, const RestoreWrite &write, const QString &staysBlank) {
  up.restoreSent = false;
  return up.host.ShowRestoreDialog(up.rows, write, staysBlank);
}

// The restore dialog, again while a write in it fails and Check Errors is on.
// A controller that does not answer is no reason to doubt the values, and
// windows an erase left blank are no success when nothing is written back.
Ending RestoreIdentification(Upload &up) {
  const QList<int> blank = StaysBlank(up);
  const QString staysBlank = blank.isEmpty() ? QString() : StaysBlankText(blank);
  const RestoreWrite write = [&up](const IdWindowTexts &texts) {
    // Pressed again in the same dialog: only this round's failures count.
    if (up.lastRound == RestoreRound::Unanswered) up.record.ClearFlag();
    up.restoreSent = true;
    up.lastRound = RestoreControllerParameters(up.host.Port(), up.rows, texts, up.record);
    return up.lastRound;
  };
  if (ShowRestore(up, write, staysBlank) == PromptAnswer::Abort) return HostEnded(up);
  for (bool repeated = false;; repeated = true) {
    if (auto ended = LinkEnded(up)) return ended;
    if (up.restoreSent && up.lastRound == RestoreRound::Unanswered)
      return EndWithMessage(up, NotAnswering(up.host) + CR + InterruptionSentence(),
                            "interrupted: the controller does not answer at the restore");
    if (!up.record.Flagged || !up.host.CheckErrors()) break;
    const QString again = QStringLiteral("Please check all the parameters are right and repeat the procedure");
    if (up.host.Prompt(PromptKind::Repeat, again, repeated) == PromptAnswer::Abort) return HostEnded(up);
    up.record.ClearFlag();
    if (ShowRestore(up, write, staysBlank) == PromptAnswer::Abort) return HostEnded(up);
  }
  if (up.restoreSent || blank.isEmpty()) return std::nullopt;
  return EndWithMessage(up, "The identification windows were not written back, so " + staysBlank + "." + CR +
                                InterruptionSentence(),
                        QStringLiteral("interrupted: identification windows not written back"));
}

Ending Lock(Upload &up) {
  SerialPort &port = up.host.Port();
  const WriteResult lock = WriteWindow(port, LockWindow, "L", qint64(1));
  if (!lock.Written) up.record.Record(FlagRule::Always, true, lock.Answered ? QString() : NotAnswering(up.host));
  if (auto ended = LinkEnded(up)) return ended;
  // Nothing answered: the lock is not written, whatever Check Errors says.
  if (!lock.Written && !lock.Answered) return AbortUpload(up, "Locking controller");
  return TestPoint(up, up.record.Outcome(port), "Locking controller");
}

// A finish begins as any look at a controller does, with the harmless read of
// window 310 and lone CRs when no frame answers it. An application that
// answers with values must hold those of the controller being finished.
Ending SameController(Upload &up) {
  SerialPort &port = up.host.Port();
  const WindowReply part = ReadWindow(port, 319), serial = ReadWindow(port, 323);
  if (auto ended = LinkEnded(up)) return ended;
  const QByteArray wantedPart = up.rows[ControllerPartNumberRow].Value, wantedSerial = up.rows[ControllerSerialNumberRow].Value;
  if (part.Failed() || serial.Failed())
    return EndSaying(up, "The controller's application answers on " + up.host.PortName() +
                             ", but its windows 319 and 323 cannot be read, so it cannot be told whether it is the "
                             "controller whose upload is to be finished. Nothing was written to it.",
                     QStringLiteral("refused: the controller's numbers cannot be read"));
  const bool erased = IsBlankValue(part.Text) && IsBlankValue(serial.Text);
  if (erased || (part.Text == wantedPart && serial.Text == wantedSerial)) return std::nullopt;
  return EndSaying(up, "The controller on " + up.host.PortName() + " is not the one whose upload is to be finished: it "
                           "holds Controller P/N " + QString::fromLatin1(part.Text) + ", Controller S/N " +
                           QString::fromLatin1(serial.Text) + "; " + DescribeAttempt(up.finish->Attempt) +
                           " was for Controller P/N " + QString::fromLatin1(wantedPart) + ", Controller S/N " +
                           QString::fromLatin1(wantedSerial) + "." + CR + "Nothing was written to it.",
                   "refused: another controller answers (Controller S/N " + QString::fromLatin1(serial.Text) + ")");
}

Ending ContactForFinish(Upload &up) {
  up.host.SetStep(Step::Identifying);
  up.host.Repaint();
  up.contact = MakeFirstContact(up.host.Port());
  if (auto ended = LinkEnded(up)) return ended;
  if (!up.contact.AnythingAnswered())
    return EndWithMessage(up, NotAnswering(up.host) + CR + InterruptionSentence(), "interrupted: nothing answers");
  return up.contact.Application ? SameController(up) : std::nullopt;
}

bool BootMonitorAnswered(const Upload &up) { return up.contact.Answer.Who == Answerer::BootMonitor; }

// Out of the boot monitor: the bridge off, until no boot monitor's tag answers.
Ending Unbridge(Upload &up) {
  return PromptUntil(up, PromptKind::Unbridge, [](const QByteArray &t) { return !BootDialectOf(t); });
}

Ending ReachParameterMonitor(Upload &up) {
  if (up.contact.Application) return EnterMonitor(up);
  if (BootMonitorAnswered(up))
    if (auto ended = Unbridge(up)) return ended;
  return CheckInMonitor(up);
}

Ending ReachApplication(Upload &up) {
  if (up.contact.Application) return std::nullopt;
  if (BootMonitorAnswered(up)) {
    if (auto ended = Unbridge(up)) return ended;
    if (!MonitorModeCheck(up.host)) return LinkEnded(up);
  }
  return LeaveMonitor(up);
}

QString SuccessText(Upload &up, const QString &success) {
  QString text = success;
  if (!up.host.CheckErrors() && up.record.Count > 0)
    text += CR + QStringLiteral("%1 failure(s) were ignored because Check Errors is off.").arg(up.record.Count);
  const QString rescue = RescueBackupLine(up.folder);
  if (!rescue.isEmpty()) text += CR + rescue;
  return text;
}

// A stage, and the stage of the sequence it counts as once it has run.
struct StageStep {
  std::optional<Stage> Completes;
  Ending (*Run)(Upload &);
};

// The one place a sequence ends: at the first stage that ends it, or with its
// success message once every stage has run.
UploadResult RunStages(Upload &up, const QList<StageStep> &steps) {
  for (const StageStep &step : steps) {
    if (const Ending ending = step.Run(up)) return *ending;
    // After a hole in the program no later stage makes the controller whole.
    if (step.Completes && !up.programHole) up.last = LaterStage(up.kind, up.last, step.Completes);
  }
  const bool full = up.kind == UploadKind::Full;
  return Succeeded(up, SuccessText(up, full ? QStringLiteral("Program File and Parameter List have been uploaded!")
                                            : QStringLiteral("The Parameter List has been uploaded!")));
}

QList<StageStep> PlainSequence(UploadKind kind) {
  if (kind == UploadKind::Full)
    return {{Stage::SaveIdentification, SaveIdentification}, {Stage::BridgeIntoBootMonitor, BridgeIntoBootMonitor},
            {Stage::WriteBackup, WriteBackup},               {Stage::ProgramController, ProgramController},
            {Stage::RemoveBridge, RemoveBridge},             {Stage::SendFullUploadCrc, SendFullUploadCrc},
            {Stage::TransferParameters, TransferParameters}, {Stage::LeaveMonitor, LeaveMonitor},
            {Stage::RestoreIdentification, RestoreIdentification}, {Stage::Lock, Lock}};
  return {{Stage::SaveIdentification, SaveIdentification}, {Stage::WriteBackup, WriteBackup},
          {Stage::EnterMonitor, EnterMonitor},             {Stage::SendListCrc, SendListCrc},
          {Stage::TransferParameters, TransferParameters}, {Stage::LeaveMonitor, LeaveMonitor},
          {Stage::RestoreIdentification, RestoreIdentification}, {Stage::Lock, Lock}};
}

// What a finish runs: only what its attempt left to do, after a first look at
// what answers; the identification values are the attempt's.
QList<StageStep> FinishSequence(UploadKind kind, Remains what) {
  const bool full = kind == UploadKind::Full;
  QList<StageStep> steps{{std::nullopt, ContactForFinish}};
  const QList<StageStep> tail = {{Stage::LeaveMonitor, LeaveMonitor},
                                 {Stage::RestoreIdentification, RestoreIdentification}, {Stage::Lock, Lock}};
  switch (what) {
    case Remains::Program:
      steps << StageStep{Stage::BridgeIntoBootMonitor, BridgeIntoBootMonitor} << StageStep{Stage::WriteBackup, WriteBackup}
            << StageStep{Stage::ProgramController, ProgramController} << StageStep{Stage::RemoveBridge, RemoveBridge}
            << StageStep{Stage::SendFullUploadCrc, SendFullUploadCrc}
            << StageStep{Stage::TransferParameters, TransferParameters} << tail;
      break;
    case Remains::Parameters:
      steps << StageStep{full ? Stage::RemoveBridge : Stage::EnterMonitor, ReachParameterMonitor}
            << (full ? StageStep{Stage::SendFullUploadCrc, SendFullUploadCrc} : StageStep{Stage::SendListCrc, SendListCrc})
            << StageStep{Stage::TransferParameters, TransferParameters} << tail;
      break;
    case Remains::Restore:
      steps << StageStep{Stage::LeaveMonitor, ReachApplication} << tail.mid(1);
      break;
    case Remains::Lock:
      steps << StageStep{Stage::LeaveMonitor, ReachApplication} << tail.mid(2);
      break;
    case Remains::Nothing:
    case Remains::Everything: break;
  }
  return steps;
}

// A refusal before the port opens: said last, like any ending.
bool Refuse(Upload &up, const QString &text) {
  up.session.Say(text);
  return false;
}

bool FilesChosen(Upload &up) {
  if (up.host.ParameterFile().isEmpty()) return Refuse(up, "Select a valid parameter list!");
  if (up.host.ProgramFile().isEmpty() && up.kind == UploadKind::Full)
    return Refuse(up, "Select a valid program file!");
  return true;
}

// Everything that can be known before the port opens: a bad file is refused
// before anything in the controller is erased or rewritten.
bool FilesAccepted(Upload &up) {
  QString message;
  const bool full = up.kind == UploadKind::Full;
  const bool program = up.finish ? FinishSendsProgram(up.finish->Attempt) : full;
  if (!CheckParameterList(up.host.ParameterFile(), !full, &message) ||
      (program && !CheckProgramFile(up.host.ProgramFile(), &message)))
    return Refuse(up, message);
  return true;
}

// A finish writes back the values of its attempt's backup: read before anything is sent.
bool FinishValuesRead(Upload &up) {
  if (!up.finish) return true;
  const QString &path = up.finish->ValuesFrom;
  if (path.isEmpty())
    return up.finish->Attempt.What == Remains::Lock ||
           Refuse(up, QStringLiteral("No backup holding this controller's identification values is known for %1.")
                          .arg(DescribeAttempt(up.finish->Attempt)) + CR + "The upload has not been started.");
  std::array<QByteArray, IdWindowCount> values;
  QString error;
  if (!ReadBackupValues(path, values, &error)) return Refuse(up, error + CR + "The upload has not been started.");
  for (int r = 0; r < IdWindowCount; ++r) up.rows[r].Value = values[r];
  up.valuesFrom = QFileInfo(path).absoluteFilePath();
  return true;
}

// From the checks to the sequence's end. The folder lock is held until the
// line is written, so that no other upload keeps or replaces this backup;
// it comes before the port, so that the technician is not sent to bridge and
// power-cycle a controller for an upload that cannot save its backup.
UploadResult RunSequence(Upload &up) {
  UploadHost &host = up.host;
  if (!FilesAccepted(up) || !FinishValuesRead(up) || !up.session.Ready()) return UploadResult::Refused;
  if (!up.session.OpenPort()) return UploadResult::PortNotOpened;
  host.UploadStarted();
  host.Repaint();
  UploadResult result = RunStages(up, up.finish ? FinishSequence(up.kind, up.finish->Attempt.What) : PlainSequence(up.kind));
  // An adapter gone during the last exchange is why whatever came after
  // failed; an upload the host ended stays the host's interruption.
  if (host.Port().Lost() && !up.endedByHost) result = UploadResult::ConnectionLost;
  return result;
}

// The own backup a later finish takes its values from: the attempt's when it
// holds them, else the one this finish went on with.
QString OwnBackupOfLine(const Upload &up) {
  if (!up.finish) return up.backupFiles.Own;
  const UnfinishedAttempt &attempt = up.finish->Attempt;
  return attempt.OwnBackupHoldsValues || up.valuesFrom.isEmpty() ? attempt.OwnBackup : up.valuesFrom;
}

LineEnding EndingOf(const Upload &up, UploadResult result) {
  const QString outcome = up.endedByHost ? up.host.HostEnding() : !up.ending.isEmpty() ? up.ending : ResultWords(result);
  return {up.session.PortOpened(), up.rows, up.record.Count, outcome, up.valuesFrom, up.backupFiles,
          up.last ? StageName(*up.last) : QString(), OwnBackupOfLine(up)};
}

}  // namespace

QString UploadHost::PortName() {
  return QStringLiteral("serial port %1 (%2)").arg(Port().PortNumber()).arg(Port().DeviceName());
}

QString UploadHost::FinishHint(const QString &valuesFrom) const {
  const QString start = QStringLiteral("To finish it, start the upload again on this port: it offers to finish it");
  if (valuesFrom.isEmpty()) return start + " and asks for a backup of this controller to take the values from.";
  return start + ", writing back the identification values of " + QDir::toNativeSeparators(valuesFrom) + ".";
}

QString UploadHost::RescueHint(const QString &backupPath) const {
  const QString start = QStringLiteral("To finish it, choose \"Upload Parameter List and Program File\" and start the upload "
                                       "again: ");
  if (backupPath.isEmpty()) return start + "it asks for a backup of this controller to take the values from.";
  return start + "it offers to write back the identification values of " + QDir::toNativeSeparators(backupPath) + ".";
}

QString UploadHost::PortOpenFailure(const QString &notStarted) {
  return PortOpenFailureText(ComPort(), Port().DeviceName(), Port().ErrorString(), Port().Fault(), notStarted);
}

bool UploadHost::OpenPort(SerialPort &port) { return port.Open(); }

QString UploadHost::JournalDevice() { return ComPortDevice().isEmpty() ? PortDeviceName(ComPort()) : ComPortDevice(); }

PromptAnswer AskToLeaveMonitor(UploadHost &host) {
  if (host.Prompt(PromptKind::PowerCycle, PowerCyclePromptText(), false) == PromptAnswer::Abort) return PromptAnswer::Abort;
  for (bool repeated = false; MonitorModeCheck(host); repeated = true)
    if (host.Prompt(PromptKind::InMonitor, StillInMonitorPromptText(), repeated) == PromptAnswer::Abort)
      return PromptAnswer::Abort;
  return PromptAnswer::Continue;
}

UploadVerdict RunUpload(UploadHost &host, const QDir &folder, const FinishRequest *finish) {
  Session session(host, folder, UploadSessionTexts());
  Upload up(session, finish);
  const JournalLine line = BeginJournalLine(host, folder, up.kind, finish);
  const bool chosen = finish || FilesChosen(up);
  if (chosen) host.SetBusy(true);
  const UploadResult result = chosen ? RunSequence(up) : UploadResult::Refused;
  const bool journalled = session.Exit(FinishedEntry(line, host, EndingOf(up, result)));
  if (chosen) host.SetBusy(false);
  return {result, journalled};
}

UploadResult StartUpload(UploadHost &host, const QDir &folder) { return RunUpload(host, folder).Result; }
