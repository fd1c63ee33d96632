// The stages of the two sequences, each named for what it does, each
// returning how it ended the upload, or nothing to go on. What they send
// comes from the upload's inputs, read and checked at the start.
#include "UploadRun.h"

#include "Exchanges.h"
#include "Journal.h"
#include "KeptBackups.h"
#include "MonitorMode.h"
#include "ParameterTransfer.h"
#include "ProgramTransfer.h"
#include "UploadDriver.h"
#include "UploadTexts.h"
#include "WindowProtocol.h"

#include <QFileInfo>

namespace {

const QString CR = QStringLiteral("\r");

// While the boot monitor is awaited, a lone CR is asked again before the
// technician is asked for another power cycle: its answer may have been
// spoiled or lost. Three cost at most 1.5 s where nothing answers. Once the
// bridge is to be gone an answer without a tag is the parameter monitor's
// prompt as well as a spoiled one, and a CR more would change what a clean
// line carries: there one CR is all.
constexpr int PromptAttempts = 3;

QByteArray AskForPromptTag(Upload &up, PromptKind kind) {
  const int attempts = kind == PromptKind::Bridge ? PromptAttempts : 1;
  QByteArray reply;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (attempt > 1) up.port.NoteRepeat(QStringLiteral("lone CR for the prompt"));
    reply = MonitorExchangeCount(up.port, "\r", 10);
    if (PromptDialect(reply)) up.port.CountRepeats(attempt - 1);
    if (up.port.Ended() || PromptDialect(reply)) break;
  }
  return PromptTagOf(reply);
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
    tag = AskForPromptTag(up, kind);
    if (auto ended = LinkEnded(up)) return ended;
    again = true;
  } while (!done(tag));
  if (kind == PromptKind::Bridge) up.tag = tag;
  return std::nullopt;
}

// The controller answers only as a monitor: an attempt the journal knows of
// is finished from where it stopped; else only a full upload with a backup's
// values brings it back, which goes on here when the host names one.
Ending FinishOrEnd(Upload &up, const LineAnswer &answer) {
  UploadHost &host = up.host;
  const QString journal = JournalPathFor(up.folder, host.JournalFile());
  const std::optional<UnfinishedAttempt> attempt = NewestUnfinished(journal, up.folder, host.JournalDevice());
  const QString said = MonitorAnswersText(host.PortName(), answer);
  const bool known = attempt && attempt->CanBeFinished();
  const QString means = known ? NeedsText(attempt->Kind, attempt->What) : MonitorMeansText(answer);
  FinishOffer offer{answer, said + CR + means, BackupToFinishWith(up.folder, journal, host.JournalDevice())};
  const QString chosen = up.kind == UploadKind::Full ? host.FinishWithBackup(offer) : QString();
  if (!chosen.isEmpty()) {
    const Checked<BackupValues> values = ReadBackupFile(chosen);
    if (!values)
      return EndSaying(up, values.Why + CR + InterruptionSentence(), "interrupted at saving parameters: " + values.Why);
    for (int r = 0; r < IdWindowCount; ++r) up.rows[r] = {(*values)[r], up.rows[r].DataType, up.rows[r].Win, false};
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

// The windows a Cancel leaves blank in the controller: every one after an
// erase, else those that read blank where a kept backup holds a value.
QList<int> StaysBlank(Upload &up) {
  QList<int> every;
  for (const IdWindow &row : BlankBackup()) every << row.Win;
  if (up.kind == UploadKind::Full) return every;
  const BlankVerdict blanks = JudgeBlanks(up.rows, KeptValuesIn(up.folder));
  return blanks.Erased ? every : blanks.SuspectWindows();
}

PromptAnswer ShowRestore(Upload &up, const RestoreWrite &write, const QString &staysBlank) {
  up.restoreSent = false;
  return up.host.ShowRestoreDialog(up.rows, write, staysBlank);
}

}  // namespace

// The backup step read the controller and nothing else: nothing was changed
// and no backup was written, so the usual pointer at one needs a word more.
Ending SaveIdentification(Upload &up) {
  const StoredParameters stored = StoreControllerParameters(up.port, up.progress, up.checkErrors);
  up.rows = stored.Rows;
  up.record.Take(stored.Result);
  if (stored.Result.End != StepEnd::Done && stored.Result.End != StepEnd::Failed) return LinkEnded(up);
  if (stored.MonitorAnswered()) return FinishOrEnd(up, stored.Answer);
  if (!stored.Result.Failed() || !up.checkErrors) return std::nullopt;
  const QString &detail = stored.Result.Detail;
  return EndSaying(up, InterruptionText("saving parameters", up.folder, false) + CR +
                           NothingChangedNoBackupText(stored.FirstUnanswered, up.host.PortName()) +
                           (detail.isEmpty() ? QString() : CR + detail),
                   QStringLiteral("interrupted at saving parameters"));
}

Ending BridgeIntoBootMonitor(Upload &up) {
  return PromptUntil(up, PromptKind::Bridge, [](const QByteArray &t) { return BootDialectOf(t) != nullptr; });
}

// The write comes after the controller was reached (and, in the full mode,
// bridged into its boot monitor): say what state it is left in. A finish
// writes the values it goes on with; its attempt's own copy holds them already.
Ending WriteBackup(Upload &up) {
  const BackupWritten written = WriteParameterLog(up.folder, up.rows, up.finish ? OwnCopy::None : OwnCopy::Keep);
  up.backupFiles = written.Files;
  if (written.Written) return std::nullopt;
  const QString &error = written.Error;
  if (up.finish) return EndWithMessage(up, error + CR + InterruptionSentence(), EndingFor(error));
  return EndSaying(up, error + CR + InterruptionSentence() + CR + NothingChangedText(up.kind), EndingFor(error));
}

Ending ProgramController(Upload &up) {
  const StepResult result = SendProgramFile(up.port, up.progress, up.checkErrors, *up.inputs.Program, BootDialectOf(up.tag));
  // A record let pass leaves a hole that only programming it again mends.
  up.programHole = result.Failures > 0;
  return TestPoint(up, result, "Programming Controller");
}

// Only a dialect whose prompt repeats the removal keeps this loop going; any
// other tag, or none, ends it.
Ending RemoveBridge(Upload &up) {
  return PromptUntil(up, PromptKind::Unbridge, [](const QByteArray &t) {
    const BootDialect *dialect = BootDialectOf(t);
    return !dialect || !dialect->RemovalRepeats;
  });
}

Ending Unbridge(Upload &up) {
  return PromptUntil(up, PromptKind::Unbridge, [](const QByteArray &t) { return !BootDialectOf(t); });
}

Ending SendFullUploadCrc(Upload &up) {
  return TestPoint(up, SendCrc(up.port, up.progress, up.checkErrors, FullUploadCrc), "CRC verifyng");
}

// "C", "E" and "R" are the boot monitor's commands too, erase among them: none
// goes out before the parameter monitor has answered "Q" to "U", whatever
// Check Errors says.
Ending CheckInMonitor(Upload &up) {
  // The monitor's prompt is let settle, or its tail would be read as the
  // answer to the check that follows.
  SettledExchange(up.port, "\r", 1);
  if (auto ended = LinkEnded(up)) return ended;
  if (ConfirmMonitorMode(up.port)) return std::nullopt;
  up.record.Record(FlagRule::CountOnly);
  return AbortUpload(up, "setting in monitor mode");
}

Ending EnterMonitor(Upload &up) {
  up.record.Take(SetMonitorMode(up.port, up.progress));
  return CheckInMonitor(up);
}

Ending SendListCrc(Upload &up) {
  return TestPoint(up, SendCrc(up.port, up.progress, up.checkErrors, up.inputs.ListCrc), "CRC verifyng");
}

// Written, then read back, with one test after both.
Ending TransferParameters(Upload &up) {
  const StepResult sent = SendParameterList(up.port, up.progress, up.checkErrors, *up.inputs.List);
  const StepResult read = VerifyParameterList(up.port, up.progress, up.checkErrors, *up.inputs.List);
  return TestPoint(up, Together(sent, read), "file parameters writing");
}

// Asked to switch off and on until the controller no longer answers as the monitor.
Ending LeaveMonitor(Upload &up) {
  if (AskToLeaveMonitor(up.host) == PromptAnswer::Abort) return HostEnded(up);
  return LinkEnded(up);
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
    up.lastRound = RestoreControllerParameters(up.port, up.rows, texts, up.record);
    return up.lastRound;
  };
  if (ShowRestore(up, write, staysBlank) == PromptAnswer::Abort) return HostEnded(up);
  for (bool repeated = false;; repeated = true) {
    if (auto ended = LinkEnded(up)) return ended;
    if (up.restoreSent && up.lastRound == RestoreRound::Unanswered)
      return EndWithMessage(up, NotAnswering(up.host) + CR + InterruptionSentence(),
                            "interrupted: the controller does not answer at the restore");
    if (!up.record.Flagged || !up.checkErrors) break;
    const QString again = QStringLiteral("Please check all the parameters are right and repeat the procedure");
    if (up.host.Prompt(PromptKind::Repeat, again, repeated) == PromptAnswer::Abort) return HostEnded(up);
    up.record.ClearFlag();
    if (ShowRestore(up, write, staysBlank) == PromptAnswer::Abort) return HostEnded(up);
  }
  if (up.restoreSent || blank.isEmpty()) return std::nullopt;
  return EndWithMessage(up, NotWrittenBackText(staysBlank), QStringLiteral("interrupted: identification windows not written back"));
}

Ending Lock(Upload &up) {
  FailureRecord record;
  const WriteResult lock = WriteWindow(up.port, LockWindow, "L", qint64(1));
  if (!lock.Written) record.Record(FlagRule::Always, true, lock.Answered ? QString() : NotAnswering(up.host));
  const StepResult result = record.Result(up.port);
  // Nothing answered: the lock is not written, whatever Check Errors says.
  if (result.Failed() && !lock.Answered) {
    up.record.Take(result);
    return AbortUpload(up, "Locking controller");
  }
  return TestPoint(up, result, "Locking controller");
}
