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
  UploadHost &host;
  FailureRecord record;
  IdBackup rows = BlankBackup();
  bool endedByHost = false;
  QString ending;  // the journal's words for the first ending the technician was told of
  bool erased = false;      // full mode: the program step has begun, the controller is no longer whole
  QString valuesFrom;       // the backup file whose values replace those read, when a monitor answered
  RestoreRound lastRound = RestoreRound::Written;
};

// A window that got no byte back: the line or the controller's power, not the values.
QString NotAnswering(UploadHost &host) { return NotAnsweringText(host.PortName()); }

// After the erase only a finished full upload brings the controller back.
QString FinishLine(Upload &up) {
  if (!up.erased) return {};
  const QString backup = up.valuesFrom.isEmpty() ? BackupForFinishing(QDir::current()) : up.valuesFrom;
  return CR + up.host.FinishHint(backup);
}

// The host answered Abort, having said why.
UploadResult HostEnded(Upload &up) {
  up.endedByHost = true;
  return UploadResult::Interrupted;
}

bool FailureRule(Upload &up, const StepOutcome &outcome) {
  return outcome.End == StepEnd::Failed && up.host.CheckErrors();
}

// Every ending short of success: the message, the journal's words for it,
// and the failure flagged cleared.
UploadResult EndWithMessage(Upload &up, const QString &text, const QString &ending) {
  if (up.ending.isEmpty()) up.ending = ending;
  up.host.Message(text + FinishLine(up));
  up.record.ClearFlag(true);
  return up.host.Stopped() ? HostEnded(up) : UploadResult::Interrupted;
}

UploadResult AbortUpload(Upload &up, const QString &step) {
  return EndWithMessage(up, InterruptionText(step) + (up.record.Detail.isEmpty() ? QString() : CR + up.record.Detail),
                        "interrupted at " + step);
}

// An ending the steps did not name: the journal gives the first line said.
QString EndingSaid(const QString &text) { return "interrupted: " + text.section('\r', 0, 0); }

// The adapter went away: nothing more can reach the controller, so the
// sequence ends here rather than running into one time-out after another.
std::optional<UploadResult> LinkLost(Upload &up) {
  if (up.host.Stopped()) return HostEnded(up);
  if (!up.host.Port().Lost()) return std::nullopt;
  EndWithMessage(up, "The connection to " + up.host.PortName() + " was lost." + InterruptionTail(), "connection lost");
  return up.endedByHost ? UploadResult::Interrupted : UploadResult::ConnectionLost;
}

// A test point: set when the sequence has to end here.
std::optional<UploadResult> Interrupted(Upload &up, const StepOutcome &outcome, const QString &step) {
  if (outcome.End == StepEnd::LineLost) return LinkLost(up);
  if (!FailureRule(up, outcome)) return std::nullopt;
  return AbortUpload(up, step);
}

// Asks for a power cycle, the bridge between pins 5 and 9 made or removed as
// `kind` says, until the boot monitor's prompt tag satisfies `done`; set when
// the link was lost or the host ended the upload meanwhile.
template <typename Done>
std::optional<UploadResult> PromptUntil(Upload &up, PromptKind kind, Done done, QByteArray &tag) {
  const char *bridgeLine = kind == PromptKind::Bridge ? "create a short circuit between pins 5 and 9 and"
                                                      : "remove the short circuit between pins 5 and 9 and";
  const QString message = Lines({"Please switch OFF the controller,", bridgeLine, "switch on the controller again!"});
  do {
    if (up.host.Prompt(kind, message) == PromptAnswer::Abort) return HostEnded(up);
    tag = PromptTagOf(MonitorExchangeCount(up.host.Port(), "\r", 10));
    if (auto lost = LinkLost(up)) return lost;
  } while (!done(tag));
  return std::nullopt;
}

// The write comes after the controller was reached (and, in the full mode,
// bridged into its boot monitor): say what state it is left in.
bool BackupWritten(Upload &up) {
  QString error;
  if (WriteParameterLog(up.rows, &error)) return true;
  QString state = QStringLiteral("Nothing in the controller was changed.");
  if (up.host.UploadMode() == UploadKind::Full)
    state += QStringLiteral(" It waits in its boot monitor: take the bridge off pins 5 and 9, then switch "
                            "it off and on again.");
  EndWithMessage(up, error + CR + InterruptionSentence + CR + state, EndingSaid(error));
  return false;
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
std::optional<UploadResult> FinishOrEnd(Upload &up, const LineAnswer &answer) {
  UploadHost &host = up.host;
  const QString said = MonitorAnswers(host, answer);
  const bool full = host.UploadMode() == UploadKind::Full;
  FinishOffer offer{answer, said, BackupToFinishWith(QDir::current(), JournalPathFor(QDir::current(), host.JournalFile()))};
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
std::optional<UploadResult> SavingInterrupted(Upload &up) {
  const StoredParameters stored = StoreControllerParameters(up.host, up.record);
  up.rows = stored.Rows;
  if (stored.Outcome.End == StepEnd::LineLost) return LinkLost(up);
  if (stored.MonitorAnswered()) return FinishOrEnd(up, stored.Answer);
  if (!FailureRule(up, stored.Outcome)) return std::nullopt;
  QString said = QStringLiteral("Nothing in the controller was changed, and this upload did not write tmpLogWin.txt.");
  if (stored.FirstUnanswered)
    said = NotAnswering(up.host) + " This upload changed nothing in it and did not write tmpLogWin.txt.";
  const QString &detail = stored.Outcome.Detail;
  return EndWithMessage(up, InterruptionText("saving parameters", false) + CR + said +
                                (detail.isEmpty() ? QString() : CR + detail),
                        QStringLiteral("interrupted at saving parameters"));
}

std::optional<UploadResult> Transferred(Upload &up) {
  SendParameterList(up.host, up.record);
  return Interrupted(up, VerifyParameterList(up.host, up.record), "file parameters writing");
}

// The restore dialog, again while a write in it fails and Check Errors is on.
std::optional<UploadResult> Restored(Upload &up) {
  const RestoreWrite write = [&up](const IdWindowTexts &texts) {
    // Pressed again in the same dialog: only this round's failures count.
    if (up.lastRound == RestoreRound::Unanswered) up.record.ClearFlag();
    up.lastRound = RestoreControllerParameters(up.host.Port(), up.rows, texts, up.record);
    return up.lastRound;
  };
  if (up.host.ShowRestoreDialog(up.rows, write) == PromptAnswer::Abort) return HostEnded(up);
  while (up.record.Flagged && up.host.CheckErrors()) {
    if (auto lost = LinkLost(up)) return lost;
    // A silent controller is no reason to doubt the values.
    const QString again = up.lastRound == RestoreRound::Unanswered
                              ? NotAnswering(up.host) + CR + "The identification windows are shown again to send them."
                              : QStringLiteral("Please check all the parameters are right and repeat the procedure");
    if (up.host.Prompt(PromptKind::Repeat, again) == PromptAnswer::Abort) return HostEnded(up);
    up.record.ClearFlag();
    if (up.host.ShowRestoreDialog(up.rows, write) == PromptAnswer::Abort) return HostEnded(up);
  }
  return std::nullopt;
}

UploadResult CommonTail(Upload &up, const QString &success) {
  UploadHost &host = up.host;
  const QString cycle = Lines({"Switch OFF and switch ON the controller.",
                               "The led changes its frequency blinking from high speed to low.",
                               "After that click on OK button."});
  if (host.Prompt(PromptKind::PowerCycle, cycle) == PromptAnswer::Abort) return HostEnded(up);
  while (MonitorModeCheck(host)) {
    const QString again = Lines({"Controller in monitor mode.", "Switch it off and then switch on it again!"});
    if (host.Prompt(PromptKind::InMonitor, again) == PromptAnswer::Abort) return HostEnded(up);
  }
  if (auto lost = LinkLost(up)) return *lost;
  if (auto ended = Restored(up)) return *ended;
  const WriteResult lock = WriteWindow(host.Port(), LockWindow, "L", qint64(1));
  if (!lock.Written) up.record.Record(FlagRule::Always, true, lock.Answered ? QString() : NotAnswering(host));
  if (auto ended = Interrupted(up, up.record.Outcome(host.Port()), "Locking controller")) return *ended;
  QString text = success;
  if (!host.CheckErrors() && up.record.Count > 0)
    text += CR + QStringLiteral("%1 failure(s) were ignored because Check Errors is off.").arg(up.record.Count);
  const QString rescue = RescueBackupLine();
  if (!rescue.isEmpty()) text += CR + rescue;
  host.Uploaded(text);
  return host.Stopped() ? HostEnded(up) : UploadResult::Uploaded;
}

UploadResult UploadAll(Upload &up) {
  if (auto ended = SavingInterrupted(up)) return *ended;
  QByteArray tag;
  const auto known = [](const QByteArray &t) { return BootDialectOf(t).has_value(); };
  if (auto ended = PromptUntil(up, PromptKind::Bridge, known, tag))
    return *ended;
  if (!BackupWritten(up)) return UploadResult::Interrupted;
  up.erased = true;
  if (auto ended = Interrupted(up, SendProgramFile(up.host, up.record, BootDialectOf(tag)), "Programming Controller"))
    return *ended;
  // Only the "(E)" monitor's tag keeps this loop going; any other ends it.
  QByteArray after;
  const auto notE = [](const QByteArray &t) { return BootDialectOf(t) != BootDialect::E; };
  if (auto ended = PromptUntil(up, PromptKind::Unbridge, notE, after))
    return *ended;
  if (auto ended = Interrupted(up, SendCrc(up.host, up.record, 65535), "CRC verifyng")) return *ended;
  if (auto ended = Transferred(up)) return *ended;
  return CommonTail(up, "Program File and Parameter List have been uploaded!");
}

UploadResult UploadParameterList(Upload &up) {
  UploadHost &host = up.host;
  if (auto ended = SavingInterrupted(up)) return *ended;
  if (!BackupWritten(up)) return UploadResult::Interrupted;
  SetMonitorMode(host, up.record);
  // The monitor's prompt is let settle, or its tail would be read as the
  // answer to the check that follows.
  SettledExchange(host.Port(), "\r", 1);
  if (auto lost = LinkLost(up)) return *lost;
  if (!MonitorModeCheck(host)) {
    up.record.Record(FlagRule::CountOnly);
    if (host.CheckErrors()) return AbortUpload(up, "setting in monitor mode");
  }
  qint32 crc = 0;
  QString error;
  if (!ReadParameterCrc(host.ParameterFile(), crc, &error))
    return EndWithMessage(up, error + InterruptionTail(), EndingSaid(error));
  if (auto ended = Interrupted(up, SendCrc(host, up.record, crc), "CRC verifyng")) return *ended;
  if (auto ended = Transferred(up)) return *ended;
  return CommonTail(up, "The Parameter List has been uploaded!");
}

// Everything that can be known before the port opens: a bad file is refused
// before anything in the controller is erased or rewritten.
bool FilesAccepted(UploadHost &host) {
  QString message;
  const bool full = host.UploadMode() == UploadKind::Full;
  if (!CheckParameterList(host.ParameterFile(), !full, &message) ||
      (full && !CheckProgramFile(host.ProgramFile(), &message))) {
    host.Message(message);
    return false;
  }
  return true;
}

// Before the port opens, so that the technician is not sent to bridge and
// power-cycle a controller for an upload that cannot save its backup.
std::unique_ptr<QLockFile> FolderReady(UploadHost &host) {
  const QDir folder = QDir::current();
  QString reason = FolderUnfitReason(folder);
  std::unique_ptr<QLockFile> lock;
  if (reason.isEmpty()) lock = LockFolder(folder, &reason);
  if (lock) return lock;
  host.Message(QStringLiteral("The working folder %1 cannot take the backup file tmpLogWin.txt: %2.")
                   .arg(QDir::toNativeSeparators(folder.absolutePath()), reason) +
               CR + "The upload has not been started.");
  return nullptr;
}

bool PortOpened(UploadHost &host) {
  SerialPort &port = host.Port();
  port.SetPortNumber(host.ComPort());
  port.SetDevice(host.ComPortDevice());
  if (port.Open()) return true;
  host.Message(host.PortOpenFailure());
  return false;
}

UploadResult RunSequence(UploadHost &host, JournalLine &line) {
  if (!FilesAccepted(host)) return UploadResult::Refused;
  // Held to the end, so that no other upload keeps or replaces this backup;
  // the journal line, written last, holds it.
  std::unique_ptr<QLockFile> lock = FolderReady(host);
  if (!lock) return UploadResult::Refused;
  line.Hold(std::move(lock));
  if (!line.Usable()) return UploadResult::Refused;
  line.PortOpening();
  if (!PortOpened(host)) return UploadResult::PortNotOpened;
  line.PortOpened();
  host.UploadStarted();
  host.Repaint();
  Upload up{host, {}, BlankBackup(), false, {}, false, {}, RestoreRound::Written};
  UploadResult result = host.UploadMode() == UploadKind::Full ? UploadAll(up) : UploadParameterList(up);
  // An adapter gone during the last exchange is why whatever came after
  // failed; an upload the host ended stays the host's interruption.
  if (host.Port().Lost() && !up.endedByHost) result = UploadResult::ConnectionLost;
  line.NoteUpload(up.rows, up.record.Count, up.endedByHost, up.ending);
  host.Port().Close();
  host.UploadEnded();
  return result;
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

QString BackupPathForMessage() {
  // The platform's own separator, so the path shown is one that exists.
  return QDir::toNativeSeparators(QDir::currentPath()) + QDir::separator() + "tmpLogWin.txt";
}

QString NotAnsweringText(const QString &portName) {
  return "The controller does not answer on " + portName + ": check the cable and the controller's power.";
}

QString InterruptionTail(bool withRescue) {
  const QString rescue = withRescue ? RescueBackupLine() : QString();
  return CR + InterruptionSentence + CR + "Please refer to file " + BackupPathForMessage() +
         " to rescue C/U parameters" + (rescue.isEmpty() ? QString() : CR + rescue);
}

QString InterruptionText(const QString &step, bool withRescue) {
  return "Error during " + step + "." + InterruptionTail(withRescue);
}

QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, OpenFault fault) {
  QString text = QStringLiteral("Serial port %1 could not be opened").arg(portNumber);
  if (!device.isEmpty()) text += " (" + device + ")";
  text += ": " + reason + CR + "The upload has not been started.";
  switch (fault) {
    case OpenFault::Missing:
      return text + CR + "Plug the adapter in again, or choose the port again (Tools / Choose Serial Port).";
    case OpenFault::Held:
      return text + CR + "Another program holds the port: close it there, or choose another port "
                         "(Tools / Choose Serial Port).";
    case OpenFault::Denied:
      return text + CR + "This user may not open it: add the user to the \"dialout\" group "
                         "(sudo adduser $USER dialout), then log out and in again.";
    case OpenFault::None:
    case OpenFault::Other: break;
  }
  return text;  // the system's reason is all there is to say
}

UploadResult StartUpload(UploadHost &host) {
  JournalLine line(host);  // one line in the journal, however the upload ends
  if (host.ParameterFile().isEmpty()) {
    host.Message("Select a valid parameter list!");
    return UploadResult::Refused;
  }
  if (host.ProgramFile().isEmpty() && host.UploadMode() == UploadKind::Full) {
    host.Message("Select a valid program file!");
    return UploadResult::Refused;
  }
  host.SetBusy(true);
  const UploadResult result = RunSequence(host, line);
  line.NoteResult(result);
  host.SetBusy(false);
  return result;
}
