// One press of Start Upload: the files read once and checked, the working
// folder and the journal, the port, then the stages of a sequence, or of a
// finish, and the one exit.
#include "UploadDriver.h"

#include "JournalLine.h"
#include "KeptBackups.h"
#include "MonitorMode.h"
#include "ParameterListCheck.h"
#include "PortComeback.h"
#include "PortList.h"
#include "ProgramFileCheck.h"
#include "UploadRun.h"
#include "UploadTexts.h"

#include <QFileInfo>

namespace {

const QString CR = QStringLiteral("\r");

// A stage, and the stage of the sequence it counts as once it has run.
struct StageStep {
  std::optional<Stage> Completes;
  Ending (*Run)(Upload &);
};

QString SuccessText(Upload &up) {
  QString text = UploadedText(up.kind);
  if (!up.checkErrors && up.record.Count > 0) text += CR + IgnoredFailuresText(up.record.Count);
  const LineRepeats &repeats = up.port.Repeats();
  if (repeats.Exchanges > 0) text += CR + RepeatedExchangesText(repeats.Exchanges);
  if (repeats.Records > 0) text += CR + RecordsSentAgainText(repeats.Records);
  else if (repeats.Exchanges > 0) text += CR + NoisyLineText();
  const QString rescue = RescueBackupLine(up.folder);
  if (!rescue.isEmpty()) text += CR + rescue;
  return text;
}

// The one place a sequence ends: at the first stage that ends it, or with its
// success message once every stage has run.
UploadResult RunStages(Upload &up, const QList<StageStep> &steps) {
  for (const StageStep &step : steps) {
    up.running = step.Completes;
    if (const Ending ending = step.Run(up)) return *ending;
    // After a hole in the program no later stage makes the controller whole.
    if (step.Completes && !up.programHole) up.last = LaterStage(up.kind, up.last, step.Completes);
  }
  return Succeeded(up, SuccessText(up));
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

bool SendsProgram(const Upload &up) {
  return up.finish ? FinishSendsProgram(up.finish->Attempt) : up.kind == UploadKind::Full;
}

// Each chosen file read once, whatever is refused later: the journal records
// the checksums of what was there at the start, and every stage sends these bytes.
void ReadInputs(Upload &up) {
  if (!up.host.ParameterFile().isEmpty()) up.inputs.List = ReadInputFile(ParameterListKind(), up.host.ParameterFile());
  if (SendsProgram(up) && !up.host.ProgramFile().isEmpty())
    up.inputs.Program = ReadInputFile(ProgramFileKind(), up.host.ProgramFile());
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
  const bool full = up.kind == UploadKind::Full;
  if (!up.inputs.List) return Refuse(up, up.inputs.List.Why);
  const Verdict list = CheckParameterList(*up.inputs.List, !full);
  if (!list) return Refuse(up, list.Why);
  // Checked above in the parameter-only mode, the only one that sends it.
  if (!full) up.inputs.ListCrc = ReadParameterCrc(*up.inputs.List).Value.value_or(0);
  if (!SendsProgram(up)) return true;
  if (!up.inputs.Program) return Refuse(up, up.inputs.Program.Why);
  const Verdict program = CheckProgramFile(*up.inputs.Program);
  return program || Refuse(up, program.Why);
}

// A finish writes back the values of its attempt's backup: read before anything is sent.
bool FinishValuesRead(Upload &up) {
  if (!up.finish) return true;
  const QString &path = up.finish->ValuesFrom;
  if (path.isEmpty()) return up.finish->Attempt.What == Remains::Lock || Refuse(up, NoValuesForFinishText(up.finish->Attempt));
  const Checked<BackupValues> values = ReadBackupFile(path);
  if (!values) return Refuse(up, values.Why + CR + "The upload has not been started.");
  for (int r = 0; r < IdWindowCount; ++r) up.rows[r].Value = (*values)[r];
  up.valuesFrom = QFileInfo(path).absoluteFilePath();
  return true;
}

// From the checks to the sequence's end. The folder lock is held until the
// line is written, so that no other upload keeps or replaces this backup;
// it comes before the port, so that the technician is not sent to bridge and
// power-cycle a controller for an upload that cannot save its backup.
UploadResult RunSequence(Upload &up) {
  ReadInputs(up);
  if (!up.finish && !FilesChosen(up)) return UploadResult::Refused;
  up.host.SetBusy(true);
  up.busy = true;
  if (!FilesAccepted(up) || !FinishValuesRead(up) || !up.session.Ready())
    return UploadResult::Refused;
  if (!up.session.OpenPort()) return UploadResult::PortNotOpened;
  up.host.UploadStarted();
  up.host.Repaint();
  const ComebackOnLoss comeback(up);
  UploadResult result = RunStages(up, up.finish ? FinishSequence(up.kind, up.finish->Attempt.What) : PlainSequence(up.kind));
  // An adapter gone during the last exchange is why whatever came after
  // failed; an upload the host ended stays the host's interruption.
  if (up.port.Lost() && !up.endedByHost) result = UploadResult::ConnectionLost;
  return result;
}

// The own backup a later finish takes its values from: the attempt's when it
// holds them, else the one this finish went on with.
QString OwnBackupOfLine(const Upload &up) {
  if (!up.finish) return up.backupFiles.Own;
  const UnfinishedAttempt &attempt = up.finish->Attempt;
  return attempt.OwnBackupHoldsValues || up.valuesFrom.isEmpty() ? attempt.OwnBackup : up.valuesFrom;
}

OperationFacts FactsOf(const Upload &up, const QDateTime &started, UploadResult result) {
  OperationFacts facts;
  facts.Mode = up.kind == UploadKind::Full ? QStringLiteral("full") : QStringLiteral("parameter list");
  facts.Started = started;
  facts.CheckErrors = up.checkErrors;
  facts.PortNumber = up.host.PortGivenByPath() ? 0 : up.host.ComPort();
  facts.Device = up.host.JournalDevice();
  facts.ParameterList = up.host.ParameterFile();
  if (up.inputs.List) facts.ParameterListSha256 = up.inputs.List->Sha256;
  if (up.kind == UploadKind::Full) facts.ProgramFile = up.host.ProgramFile();
  if (up.inputs.Program) facts.ProgramFileSha256 = up.inputs.Program->Sha256;
  if (up.finish && !up.inputs.Program && up.kind == UploadKind::Full) {
    // Not sent again by this finish, but by the next one should it stop in a way that needs it.
    facts.ProgramFile = up.finish->Attempt.Line.ProgramFile;
    facts.ProgramFileSha256 = up.finish->Attempt.Line.ProgramFileSha256;
  }
  // A finish that did not get as far as the port still stands for its attempt's controller.
  facts.RowsKnown = up.session.PortOpened() || up.finish;
  facts.Rows = up.rows;
  facts.Failures = up.record.Count;
  facts.Outcome = up.endedByHost ? up.host.HostEnding() : !up.ending.isEmpty() ? up.ending : ResultWords(result);
  facts.ValuesFrom = up.valuesFrom;
  facts.Backup = up.backupFiles;
  facts.LastStage = up.last ? StageName(*up.last) : QString();
  facts.OwnBackup = OwnBackupOfLine(up);
  facts.ExchangesRepeated = up.port.Repeats().Exchanges;
  facts.RecordsSentAgain = up.port.Repeats().Records;
  return facts;
}

}  // namespace

QString UploadHost::PortName() {
  return QStringLiteral("serial port %1 (%2)").arg(Port().PortNumber()).arg(Port().DeviceName());
}

QString UploadHost::FinishHint(const QString &valuesFrom) const { return FinishInWindowText(valuesFrom); }

QString UploadHost::RescueHint(const QString &backupPath) const { return RescueInWindowText(backupPath); }

QString UploadHost::PortOpenFailure(const QString &notStarted) {
  return PortOpenFailureText(ComPort(), Port().DeviceName(), Port().ErrorString(), Port().Fault(), notStarted);
}

bool UploadHost::OpenPort(SerialPort &port) { return port.Open(); }

bool UploadHost::WaitForPort(const QString &, const QDeadlineTimer &deadline, const std::function<bool()> &back) {
  return PollUntil(deadline, back, [this](int) { return !Port().Stopped(); });
}

QString UploadHost::JournalDevice() { return ComPortDevice().isEmpty() ? PortDeviceName(ComPort()) : ComPortDevice(); }

PromptAnswer AskToLeaveMonitor(UploadHost &host) {
  if (host.Prompt(PromptKind::PowerCycle, PowerCyclePromptText(), false) == PromptAnswer::Abort) return PromptAnswer::Abort;
  for (bool repeated = false; MonitorModeCheck(host.Port()); repeated = true)
    if (host.Prompt(PromptKind::InMonitor, StillInMonitorPromptText(), repeated) == PromptAnswer::Abort)
      return PromptAnswer::Abort;
  return PromptAnswer::Continue;
}

UploadVerdict RunUpload(UploadHost &host, const QDir &folder, const FinishRequest *finish) {
  const QDateTime started = QDateTime::currentDateTime();
  Session session(host, folder, UploadSessionTexts());
  Upload up(session, finish);
  const UploadResult result = RunSequence(up);
  const bool journalled = session.Exit(JournalEntryFor(FactsOf(up, started, result)));
  if (up.busy) host.SetBusy(false);
  return {result, journalled};
}

UploadResult StartUpload(UploadHost &host, const QDir &folder) { return RunUpload(host, folder).Result; }
