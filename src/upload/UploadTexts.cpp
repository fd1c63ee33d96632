#include "UploadTexts.h"

#include "IdWindows.h"
#include "KeptBackups.h"
#include "SerialPort.h"
#include "UploadHost.h"

namespace {

const QString CR = QStringLiteral("\r");

QString Lines(std::initializer_list<const char *> lines) {
  QStringList out;
  for (const char *l : lines) out << QString::fromLatin1(l);
  return out.join(CR);
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

QString InterruptionSentence() { return QStringLiteral("The uploading procedure will be interrupted!"); }

QString BackupPathForMessage(const QDir &folder) {
  // The platform's own separator, so the path shown is one that exists.
  return QDir::toNativeSeparators(folder.absolutePath()) + QDir::separator() + BackupFileName;
}

QString InterruptionTail(const QDir &folder, bool withRescue) {
  const QString rescue = withRescue ? RescueBackupLine(folder) : QString();
  return CR + InterruptionSentence() + CR + "Please refer to file " + BackupPathForMessage(folder) +
         " to rescue C/U parameters" + (rescue.isEmpty() ? QString() : CR + rescue);
}

QString InterruptionText(const QString &step, const QDir &folder, bool withRescue) {
  return "Error during " + step + "." + InterruptionTail(folder, withRescue);
}

QString NotAnsweringText(const QString &portName) {
  return "The controller does not answer on " + portName + ": check the cable and the controller's power.";
}

QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, OpenFault fault,
                            const QString &notStarted) {
  QString text = QStringLiteral("Serial port %1 could not be opened").arg(portNumber);
  if (!device.isEmpty()) text += " (" + device + ")";
  text += ": " + reason + CR + notStarted;
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

QString BridgePromptText() {
  return Lines({"Please switch OFF the controller,", "create a short circuit between pins 5 and 9 and",
                "switch on the controller again!"});
}

QString BridgeRemovalPromptText() {
  return Lines({"Please switch OFF the controller,", "remove the short circuit between pins 5 and 9 and",
                "switch on the controller again!"});
}

QString PowerCyclePromptText() {
  return Lines({"Switch OFF and switch ON the controller.",
                "The led changes its frequency blinking from high speed to low.", "After that click on OK button."});
}

QString StillInMonitorPromptText() {
  return Lines({"Controller in monitor mode.", "Switch it off and then switch on it again!"});
}

QString NeedsText(UploadKind kind, Remains remains) {
  const bool full = kind == UploadKind::Full;
  switch (remains) {
    case Remains::Program:
      return QStringLiteral("The controller's memory was being erased or programmed: it has no complete program, "
                            "its parameters and identification windows are erased, and it starts only into a monitor.");
    case Remains::Parameters:
      return full ? QStringLiteral("The controller has its new program, but its parameter list is not completely "
                                   "written: it starts only into a monitor.")
                  : QStringLiteral("The parameter list is not written, or not completely: the controller may be "
                                   "waiting in its monitor.");
    case Remains::Restore:
      return full ? QStringLiteral("The program and the parameter list are in, but the identification windows are "
                                   "erased and not written back, and the controller is not locked.")
                  : QStringLiteral("The parameter list is in, but the identification windows are not written back and "
                                   "the controller is not locked.");
    case Remains::Lock:
      return QStringLiteral("Everything is written but the lock: the controller is not locked.");
    case Remains::Nothing:
    case Remains::Everything: break;
  }
  return {};
}
