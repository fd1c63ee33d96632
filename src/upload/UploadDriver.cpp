#include "UploadDriver.h"

#include "JournalLine.h"
#include "KeptBackups.h"
#include "ProgramFileCheck.h"
#include "ReplySlices.h"
#include "Exchanges.h"
#include "Journal.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "IdentificationRestore.h"
#include "MonitorMode.h"
#include "ParameterListCheck.h"
#include "ParameterTransfer.h"
#include "ProgramTransfer.h"
#include "WindowProtocol.h"
#include "WorkingFolder.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

const QString CR = QStringLiteral("\r");
const QString InterruptionSentence = QStringLiteral("The uploading procedure will be interrupted!");

QString Lines(std::initializer_list<const char *> lines) {
  QStringList out;
  for (const char *l : lines) out << QString::fromLatin1(l);
  return out.join(CR);
}

// One press of Start Upload: what it has read and what has gone wrong.
struct Upload {
  Upload(UploadHost &h, const QDir &f) : host(h), folder(f) {}
  UploadHost &host;
  QDir folder;  // the working folder: backups, journal, lock
  QByteArray tag;  // the boot monitor's prompt tag, once bridged into it
  BackupFiles backupFiles;  // what the backup step wrote and kept
  FailureRecord record;
  IdBackup rows = BlankBackup();
  bool endedByHost = false;
  QString ending;  // the journal's words for the first ending the technician is told of
  bool erased = false;      // full mode: the program step has begun, the controller is no longer whole
  QString valuesFrom;       // the backup file whose values replace those read, when a monitor answered
  RestoreRound lastRound = RestoreRound::Written;
  // The last messages, shown once the journal has the line: an ending's, or
  // the success message.
  QStringList closing;
  QString success;
  bool portTried = false, portOpened = false;
  bool journalUnusable = false;  // refused for it: no line can be written
};

// A window that got no byte back: the line or the controller's power, not the values.
QString NotAnswering(UploadHost &host) { return NotAnsweringText(host.PortName()); }

// After the erase only a finished full upload brings the controller back.
QString FinishLine(Upload &up) {
  if (!up.erased) return {};
  const QString backup = up.valuesFrom.isEmpty() ? BackupForFinishing(up.folder) : up.valuesFrom;
  return CR + up.host.FinishHint(backup);
}

// How a stage of the sequence ended the upload; nothing: the next stage follows.
using Ending = std::optional<UploadResult>;

// The host answered Abort, having said why, or a stop signal came.
UploadResult HostEnded(Upload &up) {
  up.endedByHost = true;
  return UploadResult::Interrupted;
}

bool FailureRule(Upload &up, const StepOutcome &outcome) {
  return outcome.End == StepEnd::Failed && up.host.CheckErrors();
}

// Every ending short of success: the message (shown at the upload's end,
// after its journal line is written), the journal's words for it, and the
// failure flagged cleared. A host that ended the upload has said why already.
UploadResult EndWithMessage(Upload &up, const QString &text, const QString &ending) {
  if (up.ending.isEmpty()) up.ending = ending;
  up.record.ClearFlag(true);
  if (up.host.Port().Stopped()) return HostEnded(up);
  up.closing << text + FinishLine(up);
  return UploadResult::Interrupted;
}

// The success message, likewise shown once the line is written.
UploadResult Succeeded(Upload &up, const QString &text) {
  if (up.host.Port().Stopped()) return HostEnded(up);
  up.success = text;
  return UploadResult::Uploaded;
}

UploadResult AbortUpload(Upload &up, const QString &step) {
  return EndWithMessage(up, InterruptionText(step, up.folder) + (up.record.Detail.isEmpty() ? QString() : CR + up.record.Detail),
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
  EndWithMessage(up, "The connection to " + up.host.PortName() + " was lost." + InterruptionTail(up.folder), "connection lost");
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
  const char *bridgeLine = kind == PromptKind::Bridge ? "create a short circuit between pins 5 and 9 and"
                                                      : "remove the short circuit between pins 5 and 9 and";
  const QString message = Lines({"Please switch OFF the controller,", bridgeLine, "switch on the controller again!"});
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
// bridged into its boot monitor): say what state it is left in.
Ending WriteBackup(Upload &up) {
  QString error;
  if (WriteParameterLog(up.folder, up.rows, &error, &up.backupFiles)) return std::nullopt;
  QString state = QStringLiteral("Nothing in the controller was changed.");
  if (up.host.UploadMode() == UploadKind::Full)
    state += QStringLiteral(" It waits in its boot monitor: take the bridge off pins 5 and 9, then switch "
                            "it off and on again.");
  return EndWithMessage(up, error + CR + InterruptionSentence + CR + state, EndingFor(error));
}

// What answers instead of the application, and what that says of the controller.
QString MonitorAnswers(UploadHost &host, const LineAnswer &answer) {
  const QString where = "The controller's application does not answer on " + host.PortName();
  if (answer.Who == Answerer::BootMonitor)
    return where + ", its boot monitor does (dialect " +
           QString::fromLatin1(PromptTag(*answer.Dialect).trimmed()) + ")." + CR +
           "Its program is missing or incomplete, as a full upload that did not finish leaves it.";
  return where + ", a monitor does." + CR +
         "Its program or its parameters are missing or incomplete, as an upload that did not finish leaves them.";
}

// Only a full upload brings such a controller back; it goes on with a
// backup's values when the host names one.
Ending FinishOrEnd(Upload &up, const LineAnswer &answer) {
  UploadHost &host = up.host;
  const QString said = MonitorAnswers(host, answer);
  const bool full = host.UploadMode() == UploadKind::Full;
  FinishOffer offer{answer, said, BackupToFinishWith(up.folder, JournalPathFor(up.folder, host.JournalFile()))};
  const QString chosen = full ? host.FinishWithBackup(offer) : QString();
  if (!chosen.isEmpty()) {
    std::array<QByteArray, IdWindowCount> values;
    QString error;
    if (!ReadBackupValues(chosen, values, &error))
      return EndWithMessage(up, error + CR + InterruptionSentence, "interrupted at saving parameters: " + error);
    for (int r = 0; r < IdWindowCount; ++r) {
      up.rows[r].Value = values[r];
      up.rows[r].ReadFailed = false;
    }
    up.valuesFrom = QFileInfo(chosen).absoluteFilePath();
    up.record = {};
    return std::nullopt;
  }
  const QString backup = offer.Backup ? offer.Backup->Path : QString();
  return EndWithMessage(up, "Error during saving parameters." + CR + InterruptionSentence + CR + said + CR +
                                "A full upload with the identification values of a backup of this controller "
                                "finishes the job." + CR + host.FinishHint(backup),
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
  return EndWithMessage(up, InterruptionText("saving parameters", up.folder, false) + CR + said +
                                (detail.isEmpty() ? QString() : CR + detail),
                        QStringLiteral("interrupted at saving parameters"));
}

Ending BridgeIntoBootMonitor(Upload &up) {
  return PromptUntil(up, PromptKind::Bridge, [](const QByteArray &t) { return BootDialectOf(t).has_value(); });
}

Ending ProgramController(Upload &up) {
  up.erased = true;
  return TestPoint(up, SendProgramFile(up.host, up.record, BootDialectOf(up.tag)), "Programming Controller");
}

// Only the "(E)" monitor's tag keeps this loop going; any other ends it.
Ending RemoveBridge(Upload &up) {
  return PromptUntil(up, PromptKind::Unbridge, [](const QByteArray &t) { return BootDialectOf(t) != BootDialect::E; });
}

Ending SendFullUploadCrc(Upload &up) { return TestPoint(up, SendCrc(up.host, up.record, FullUploadCrc), "CRC verifyng"); }

Ending EnterMonitor(Upload &up) {
  UploadHost &host = up.host;
  SetMonitorMode(host, up.record);
  // The monitor's prompt is let settle, or its tail would be read as the
  // answer to the check that follows.
  SettledExchange(host.Port(), "\r", 1);
  if (auto ended = LinkEnded(up)) return ended;
  if (MonitorModeCheck(host)) return std::nullopt;
  up.record.Record(FlagRule::CountOnly);
  if (host.CheckErrors()) return AbortUpload(up, "setting in monitor mode");
  return std::nullopt;
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

// The restore dialog, again while a write in it fails and Check Errors is on.
Ending RestoreIdentification(Upload &up) {
  const RestoreWrite write = [&up](const IdWindowTexts &texts) {
    // Pressed again in the same dialog: only this round's failures count.
    if (up.lastRound == RestoreRound::Unanswered) up.record.ClearFlag();
    up.lastRound = RestoreControllerParameters(up.host.Port(), up.rows, texts, up.record);
    return up.lastRound;
  };
  if (up.host.ShowRestoreDialog(up.rows, write) == PromptAnswer::Abort) return HostEnded(up);
  for (bool repeated = false; up.record.Flagged && up.host.CheckErrors(); repeated = true) {
    if (auto ended = LinkEnded(up)) return ended;
    // A silent controller is no reason to doubt the values.
    const QString again = up.lastRound == RestoreRound::Unanswered
                              ? NotAnswering(up.host) + CR + "The identification windows are shown again to send them."
                              : QStringLiteral("Please check all the parameters are right and repeat the procedure");
    if (up.host.Prompt(PromptKind::Repeat, again, repeated) == PromptAnswer::Abort) return HostEnded(up);
    up.record.ClearFlag();
    if (up.host.ShowRestoreDialog(up.rows, write) == PromptAnswer::Abort) return HostEnded(up);
  }
  return std::nullopt;
}

Ending Lock(Upload &up) {
  SerialPort &port = up.host.Port();
  const WriteResult lock = WriteWindow(port, LockWindow, "L", qint64(1));
  if (!lock.Written) up.record.Record(FlagRule::Always, true, lock.Answered ? QString() : NotAnswering(up.host));
  return TestPoint(up, up.record.Outcome(port), "Locking controller");
}

QString SuccessText(Upload &up, const QString &success) {
  QString text = success;
  if (!up.host.CheckErrors() && up.record.Count > 0)
    text += CR + QStringLiteral("%1 failure(s) were ignored because Check Errors is off.").arg(up.record.Count);
  const QString rescue = RescueBackupLine(up.folder);
  if (!rescue.isEmpty()) text += CR + rescue;
  return text;
}

using Stage = Ending (*)(Upload &);

// The one place a sequence ends: at the first stage that ends it, or with its
// success message once every stage has run.
UploadResult RunStages(Upload &up, std::initializer_list<Stage> stages, const char *success) {
  for (Stage stage : stages)
    if (const Ending ending = stage(up)) return *ending;
  return Succeeded(up, SuccessText(up, QString::fromLatin1(success)));
}

UploadResult UploadAll(Upload &up) {
  return RunStages(up,
                   {SaveIdentification, BridgeIntoBootMonitor, WriteBackup, ProgramController, RemoveBridge,
                    SendFullUploadCrc, TransferParameters, LeaveMonitor, RestoreIdentification, Lock},
                   "Program File and Parameter List have been uploaded!");
}

UploadResult UploadParameterList(Upload &up) {
  return RunStages(up,
                   {SaveIdentification, WriteBackup, EnterMonitor, SendListCrc, TransferParameters, LeaveMonitor,
                    RestoreIdentification, Lock},
                   "The Parameter List has been uploaded!");
}

// A refusal before the port opens: said last, like any ending.
bool Refuse(Upload &up, const QString &text) {
  up.closing << text;
  return false;
}

bool FilesChosen(Upload &up) {
  if (up.host.ParameterFile().isEmpty()) return Refuse(up, "Select a valid parameter list!");
  if (up.host.ProgramFile().isEmpty() && up.host.UploadMode() == UploadKind::Full)
    return Refuse(up, "Select a valid program file!");
  return true;
}

// Everything that can be known before the port opens: a bad file is refused
// before anything in the controller is erased or rewritten.
bool FilesAccepted(Upload &up) {
  QString message;
  const bool full = up.host.UploadMode() == UploadKind::Full;
  if (!CheckParameterList(up.host.ParameterFile(), !full, &message) ||
      (full && !CheckProgramFile(up.host.ProgramFile(), &message)))
    return Refuse(up, message);
  return true;
}

// Before the port opens, so that the technician is not sent to bridge and
// power-cycle a controller for an upload that cannot save its backup.
std::unique_ptr<QLockFile> FolderReady(Upload &up) {
  const QDir &folder = up.folder;
  QString reason;
  std::unique_ptr<QLockFile> lock = ClaimFolder(folder, &reason);
  if (lock) return lock;
  const QString where = QDir::toNativeSeparators(folder.absolutePath());
  Refuse(up, QStringLiteral("The working folder %1 cannot take the backup file %2: %3.").arg(where, BackupFileName, reason) +
                 CR + "The upload has not been started.");
  return nullptr;
}

bool JournalReady(Upload &up, const QString &path) {
  QString reason;
  if (JournalUsable(path, &reason)) return true;
  up.journalUnusable = true;
  const QString journal = QDir::toNativeSeparators(path);
  return Refuse(up, QStringLiteral("The upload journal %1 cannot take a line: %2.").arg(journal, reason) + CR +
                        "The upload has not been started.");
}

bool PortOpened(Upload &up) {
  SerialPort &port = up.host.Port();
  port.SetPortNumber(up.host.ComPort());
  port.SetDevice(up.host.ComPortDevice());
  up.portTried = true;
  up.portOpened = port.Open();
  return up.portOpened || Refuse(up, up.host.PortOpenFailure());
}

// From the checks to the sequence's end. The folder lock, in `lock`, is held
// until the line is written, so that no other upload keeps or replaces this backup.
UploadResult RunSequence(Upload &up, const QString &journal, std::unique_ptr<QLockFile> &lock) {
  UploadHost &host = up.host;
  if (!FilesAccepted(up)) return UploadResult::Refused;
  lock = FolderReady(up);
  if (!lock || !JournalReady(up, journal)) return UploadResult::Refused;
  if (!PortOpened(up)) return UploadResult::PortNotOpened;
  host.UploadStarted();
  host.Repaint();
  UploadResult result = host.UploadMode() == UploadKind::Full ? UploadAll(up) : UploadParameterList(up);
  // An adapter gone during the last exchange is why whatever came after
  // failed; an upload the host ended stays the host's interruption.
  if (host.Port().Lost() && !up.endedByHost) result = UploadResult::ConnectionLost;
  return result;
}

bool LineWritten(Upload &up, const JournalLine &line, UploadResult result) {
  if (up.journalUnusable) return false;
  const QString outcome = up.endedByHost ? up.host.HostEnding() : !up.ending.isEmpty() ? up.ending : ResultWords(result);
  QString reason;
  if (AppendToJournal(line.Path, FinishedEntry(line, up.host, {up.portOpened, up.rows, up.record.Count, outcome, up.valuesFrom, up.backupFiles}),
                      &reason))
    return true;
  // A refusal before the port has said what is wrong with the folder already.
  if (up.portTried)
    up.host.Message(QStringLiteral("The upload journal %1 could not be written: %2.\rThis upload has no line in it.")
                        .arg(QDir::toNativeSeparators(line.Path), reason));
  return false;
}

}  // namespace

QString ResultWords(UploadResult result) {
  switch (result) {
    case UploadResult::Uploaded: return QStringLiteral("uploaded");
    case UploadResult::PortNotOpened: return QStringLiteral("port not opened");
    case UploadResult::ConnectionLost: return QStringLiteral("connection lost");
    case UploadResult::Interrupted: return QStringLiteral("interrupted");
    case UploadResult::Refused: break;
  }
  return QStringLiteral("refused before anything was sent");
}

QString UploadHost::PortName() {
  return QStringLiteral("serial port %1 (%2)").arg(Port().PortNumber()).arg(Port().DeviceName());
}

QString UploadHost::FinishHint(const QString &backupPath) const {
  const QString start = QStringLiteral("To finish it, choose \"Upload Parameter List and Program File\" and start the upload "
                                       "again: ");
  if (backupPath.isEmpty()) return start + "it asks for a backup of this controller to take the values from.";
  return start + "it offers to write back the identification values of " + QDir::toNativeSeparators(backupPath) + ".";
}

QString UploadHost::PortOpenFailure() {
  return PortOpenFailureText(ComPort(), Port().DeviceName(), Port().ErrorString(), Port().Fault());
}

QString BackupPathForMessage(const QDir &folder) {
  // The platform's own separator, so the path shown is one that exists.
  return QDir::toNativeSeparators(folder.absolutePath()) + QDir::separator() + BackupFileName;
}

PromptAnswer AskToLeaveMonitor(UploadHost &host) {
  const QString cycle = Lines({"Switch OFF and switch ON the controller.",
                               "The led changes its frequency blinking from high speed to low.",
                               "After that click on OK button."});
  if (host.Prompt(PromptKind::PowerCycle, cycle, false) == PromptAnswer::Abort) return PromptAnswer::Abort;
  const QString again = Lines({"Controller in monitor mode.", "Switch it off and then switch on it again!"});
  for (bool repeated = false; MonitorModeCheck(host); repeated = true)
    if (host.Prompt(PromptKind::InMonitor, again, repeated) == PromptAnswer::Abort) return PromptAnswer::Abort;
  return PromptAnswer::Continue;
}

QString NotAnsweringText(const QString &portName) {
  return "The controller does not answer on " + portName + ": check the cable and the controller's power.";
}

QString InterruptionTail(const QDir &folder, bool withRescue) {
  const QString rescue = withRescue ? RescueBackupLine(folder) : QString();
  return CR + InterruptionSentence + CR + "Please refer to file " + BackupPathForMessage(folder) +
         " to rescue C/U parameters" + (rescue.isEmpty() ? QString() : CR + rescue);
}

QString InterruptionText(const QString &step, const QDir &folder, bool withRescue) {
  return "Error during " + step + "." + InterruptionTail(folder, withRescue);
}

QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, OpenFault fault) {
  QString text = QStringLiteral("Serial port %1 could not be opened").arg(portNumber);
  if (!device.isEmpty()) text += " (" + device + ")";
  text += ": " + reason + CR + "The upload has not been started.";
  const QString tip = OpenFaultTip(fault, {"choose the port again (Tools / Choose Serial Port)",
                                           "choose another port (Tools / Choose Serial Port)"});
  return tip.isEmpty() ? text : text + CR + tip;
}

QString OpenFaultTip(OpenFault fault, const PortPicking &picking) {
  switch (fault) {
    case OpenFault::Missing: return "Plug the adapter in again, or " + picking.Again + ".";
    case OpenFault::Held: return "Another program holds the port: close it there, or " + picking.Another + ".";
    case OpenFault::Denied:
      return QStringLiteral("This user may not open it: add the user to the \"dialout\" group "
                            "(sudo adduser $USER dialout), then log out and in again.");
    case OpenFault::None:
    case OpenFault::Other: break;
  }
  return {};  // the system's reason is all there is to say
}

UploadVerdict RunUpload(UploadHost &host, const QDir &folder) {
  const JournalLine line = BeginJournalLine(host, folder);
  Upload up(host, folder);
  std::unique_ptr<QLockFile> lock;
  const bool chosen = FilesChosen(up);
  if (chosen) host.SetBusy(true);
  const UploadResult result = chosen ? RunSequence(up, line.Path, lock) : UploadResult::Refused;
  // The single exit: the line is written as soon as the result is known and
  // the folder let go, so that neither waits on the technician reading the
  // last message, nor is lost when the power goes meanwhile.
  const bool journalled = LineWritten(up, line, result);
  lock.reset();
  for (const QString &text : up.closing) host.Message(text);
  if (!up.success.isEmpty()) host.Uploaded(up.success);
  if (up.portOpened) {
    host.Port().Close();
    host.UploadEnded();
  }
  if (chosen) host.SetBusy(false);
  return {result, journalled};
}

UploadResult StartUpload(UploadHost &host, const QDir &folder) { return RunUpload(host, folder).Result; }
