#include "UploadDriver.h"

#include "FailureRecord.h"
#include "JournalLine.h"
#include "ParameterList.h"
#include "KeptBackups.h"
#include "ProgramFileCheck.h"
#include "ReplySlices.h"
#include "UploadSteps.h"
#include "WorkingFolder.h"
#include "mdlSerial.h"

#include <QDir>

namespace {

const QString CR = QStringLiteral("\r");
const QString InterruptionSentence = QStringLiteral("The uploading procedure will be interrupted!");

QString Lines(std::initializer_list<const char *> lines) {
  QStringList out;
  for (const char *l : lines) out << QString::fromLatin1(l);
  return out.join(CR);
}

bool FailureRule(UploadHost &host) { return ErrorFlag != 0 && host.CheckErrors() != 0; }

// Every ending short of success: the message, and the failure flagged cleared.
void EndWithMessage(UploadHost &host, const QString &text) {
  JournalLine::NoteEnding(text);
  host.Message(text);
  ErrorFlag = 0;
  FailureDetail.clear();
}

// The adapter went away: nothing more can reach the controller, so the
// sequence ends here rather than running into one time-out after another.
bool LinkLost(UploadHost &host) {
  if (!host.Port().Lost()) return false;
  EndWithMessage(host, "The connection to " + host.PortName() + " was lost." + InterruptionTail());
  return true;
}

// A test point: true when the sequence has to end here.
bool Interrupted(UploadHost &host, const QString &step) {
  if (LinkLost(host)) return true;
  if (!FailureRule(host)) return false;
  AbortUpload(host, step);
  return true;
}

// Asks for a power cycle, the bridge between pins 5 and 9 made or removed as
// `bridgeLine` says, until the boot monitor's prompt tag satisfies `done`;
// false when the link was lost meanwhile.
template <typename Done>
bool PromptUntil(UploadHost &host, const char *bridgeLine, Done done, QByteArray &tag) {
  const QString message = Lines({"Please switch OFF the controller,", bridgeLine, "switch on the controller again!"});
  do {
    host.Message(message);
    tag = PromptTagOf(MonitorExchangeCount(host.Port(), "\r", 10));
    if (LinkLost(host)) return false;
  } while (!done(tag));
  return true;
}

// The write comes after the controller was reached (and, in the full mode,
// bridged into its boot monitor): say what state it is left in.
bool BackupWritten(UploadHost &host) {
  QString error;
  if (WriteParameterLog(&error)) return true;
  QString state = QStringLiteral("Nothing in the controller was changed.");
  if (host.UploadMode() == -1)
    state += QStringLiteral(" It waits in its boot monitor: take the bridge off pins 5 and 9, then switch "
                            "it off and on again.");
  EndWithMessage(host, error + CR + InterruptionSentence + CR + state);
  return false;
}

// The backup step read the controller and nothing else: nothing was changed
// and no backup was written, so the usual pointer at one needs a word more.
bool SavingInterrupted(UploadHost &host) {
  if (LinkLost(host)) return true;
  if (!FailureRule(host)) return false;
  QString said = QStringLiteral("Nothing in the controller was changed, and this upload did not write tmpLogWin.txt.");
  if (host.Port().BytesReceived() == 0)
    said = "The controller never answered on " + host.PortName() +
           ": nothing in it was changed, and this upload did not write tmpLogWin.txt.";
  EndWithMessage(host, InterruptionText("saving parameters", false) + CR + said +
                           (FailureDetail.isEmpty() ? QString() : CR + FailureDetail));
  return true;
}

bool Transferred(UploadHost &host) {
  SendParameterList(host);
  VerifyParameterList(host);
  return !Interrupted(host, "file parameters writing");
}

void CommonTail(UploadHost &host, const QString &success) {
  host.Message(Lines({"Switch OFF and switch ON the controller.",
                      "The led changes its frequency blinking from high speed to low.",
                      "After that click on OK button."}));
  while (MonitorModeCheck(host)) {
    host.Message(Lines({"Controller in monitor mode.", "Switch it off and then switch on it again!"}));
  }
  if (LinkLost(host)) return;
  host.ShowRestoreDialog();
  while (FailureRule(host)) {
    if (LinkLost(host)) return;
    host.Message("Please check all the parameters are right and repeat the procedure");
    ErrorFlag = 0;
    host.ShowRestoreDialog();
  }
  if (!WriteWindow(host.Port(), 501, "L", qint64(1))) RecordFailure(FlagRule::CountOnly);
  if (Interrupted(host, "Locking controller")) return;
  QString text = success;
  if (host.CheckErrors() == 0 && FailureCount > 0)
    text += CR + QStringLiteral("%1 failure(s) were ignored because Check Errors is off.").arg(FailureCount);
  const QString rescue = RescueBackupLine();
  if (!rescue.isEmpty()) text += CR + rescue;
  host.Message(text);
}

// Everything that can be known before the port opens: a bad file is refused
// before anything in the controller is erased or rewritten.
bool FilesAccepted(UploadHost &host) {
  QString message;
  const bool full = host.UploadMode() == -1;
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

void RunSequence(UploadHost &host, JournalLine &line) {
  if (!FilesAccepted(host)) return;
  // Held to the end, so that no other upload keeps or replaces this backup;
  // the journal line, written last, holds it.
  std::unique_ptr<QLockFile> lock = FolderReady(host);
  if (!lock) return;
  line.Hold(std::move(lock));
  if (!line.Usable()) return;
  line.PortOpening();
  if (!PortOpened(host)) return;
  line.PortOpened();
  host.SetOuterHeightTwips(UploadHeightTwips);
  host.Repaint();
  ClearFailureRecord();
  if (host.UploadMode() == -1) UploadAll(host);
  else UploadParameterList(host);
  host.Port().Close();
  host.SetOuterHeightTwips(IdleHeightTwips);
}

}  // namespace

QString UploadHost::PortName() {
  return QStringLiteral("serial port %1 (%2)").arg(Port().PortNumber()).arg(Port().DeviceName());
}

QString UploadHost::PortOpenFailure() {
  return PortOpenFailureText(ComPort(), Port().DeviceName(), Port().ErrorString(), Port().DeviceMissing());
}

QString BackupPathForMessage() {
  // The platform's own separator, so the path shown is one that exists.
  return QDir::toNativeSeparators(QDir::currentPath()) + QDir::separator() + "tmpLogWin.txt";
}

QString InterruptionTail(bool withRescue) {
  const QString rescue = withRescue ? RescueBackupLine() : QString();
  return CR + InterruptionSentence + CR + "Please refer to file " + BackupPathForMessage() +
         " to rescue C/U parameters" + (rescue.isEmpty() ? QString() : CR + rescue);
}

QString InterruptionText(const QString &step, bool withRescue) {
  return "Error during " + step + "." + InterruptionTail(withRescue);
}

QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, bool missing) {
  QString text = QStringLiteral("Serial port %1 could not be opened").arg(portNumber);
  if (!device.isEmpty()) text += " (" + device + ")";
  text += ": " + reason + CR + "The upload has not been started.";
  if (missing) return text + CR + "Plug the adapter in again, or choose the port again (Tools / Choose Serial Port).";
#ifndef Q_OS_WIN
  text += CR + "Check that no other program holds the port and that your user may use it (member of the "
               "\"dialout\" group).";
#else
  text += CR + "Check that no other program holds the port.";
#endif
  return text;
}

void AbortUpload(UploadHost &host, const QString &step) {
  EndWithMessage(host, InterruptionText(step) + (FailureDetail.isEmpty() ? QString() : CR + FailureDetail));
}

void UploadAll(UploadHost &host) {
  StoreControllerParameters(host);
  if (SavingInterrupted(host)) return;
  QByteArray tag;
  const bool bridged = PromptUntil(host, "create a short circuit between pins 5 and 9 and",
                                   [](const QByteArray &t) { return IsMonitorTag(t); }, tag);
  if (!bridged || !BackupWritten(host)) return;
  SendProgramFile(host, tag);
  if (Interrupted(host, "Programming Controller")) return;
  // Only the "(E)" monitor's tag keeps this loop going; any other ends it.
  QByteArray after;
  const bool restarted = PromptUntil(host, "remove the short circuit between pins 5 and 9 and",
                                     [](const QByteArray &t) { return t != "(E)"; }, after);
  if (!restarted) return;
  SendCrc(host, 65535);
  if (Interrupted(host, "CRC verifyng")) return;
  if (!Transferred(host)) return;
  CommonTail(host, "Program File and Parameter List have been uploaded!");
}

void UploadParameterList(UploadHost &host) {
  StoreControllerParameters(host);
  if (SavingInterrupted(host) || !BackupWritten(host)) return;
  SetMonitorMode(host);
  // The monitor's prompt is let settle, or its tail would be read as the
  // answer to the check that follows.
  SettledExchange(host.Port(), "\r", 1);
  if (LinkLost(host)) return;
  if (!MonitorModeCheck(host)) {
    RecordFailure(FlagRule::CountOnly);
    if (host.CheckErrors() != 0) {
      AbortUpload(host, "setting in monitor mode");
      return;
    }
  }
  qint32 crc = 0;
  QString error;
  if (!ReadParameterCrc(host.ParameterFile(), crc, &error)) {
    EndWithMessage(host, error + InterruptionTail());
    return;
  }
  SendCrc(host, crc);
  if (Interrupted(host, "CRC verifyng")) return;
  if (!Transferred(host)) return;
  CommonTail(host, "The Parameter List has been uploaded!");
}

void StartUpload(UploadHost &host) {
  JournalLine line(host);  // one line in the journal, however the upload ends
  if (host.ParameterFile().isEmpty()) {
    host.Message("Select a valid parameter list!");
    return;
  }
  if (host.ProgramFile().isEmpty() && host.UploadMode() == -1) {
    host.Message("Select a valid program file!");
    return;
  }
  host.SetBusy(true);
  RunSequence(host, line);
  host.SetBusy(false);
}
