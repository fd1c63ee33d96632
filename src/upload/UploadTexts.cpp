#include "UploadTexts.h"

#include "IdWindows.h"
#include "KeptBackups.h"
#include "SerialPort.h"
#include "UnfinishedUpload.h"
#include "UploadHost.h"

namespace {

const QString CR = QStringLiteral("\r");

QString Lines(std::initializer_list<const char *> lines) {
  QStringList out;
  for (const char *l : lines) out << QString::fromLatin1(l);
  return out.join(CR);
}

}  // namespace

QString StepCaption(Step step) {
  switch (step) {
    case Step::StoringParameters: return QStringLiteral("Storing Controller Parameters");
    case Step::ClearingFlash: return QStringLiteral("Clear Flash memory");
    case Step::ClearingEeprom: return QStringLiteral("Clear EEPROM");
    case Step::EnteringProgramming: return QStringLiteral("Set Controller in Programming mode");
    case Step::SendingProgram: return QStringLiteral("Sending Program File");
    case Step::EnteringMonitor: return QStringLiteral("Setting Controller in Monitor Mode");
    case Step::SendingCrc: return QStringLiteral("Sending CRC");
    case Step::SendingParameters: return QStringLiteral("Sending Parameter List");
    case Step::VerifyingParameters: return QStringLiteral("Verifying Parameter List");
    case Step::Identifying: break;
  }
  return QStringLiteral("Identifying the controller");
}

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

QString WaitingForPortText(const QString &portName, int seconds) {
  return QStringLiteral("The connection to %1 was lost: plug the adapter in again within %2 s to go on.")
      .arg(portName)
      .arg(seconds);
}

QString PortNotBackText(int seconds) {
  return QStringLiteral("It did not come back within %1 s.").arg(seconds);
}

QString PortWaitCaption(int secondsLeft) {
  return QStringLiteral("Port lost: waiting for it to come back, %1 s").arg(secondsLeft);
}

QString GaveUpOnPortText() { return QStringLiteral("The wait for it was given up."); }

QString PortBackOtherwiseText(const QString &answerer) {
  return "It came back, but " + answerer +
         " answers there now: the controller lost its power or was changed meanwhile, so nothing more was sent.";
}

QString PortKeepsGoingText(int times) {
  return QStringLiteral("It went away more than %1 times: check the adapter's plug.").arg(times);
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

QString UploadedText(UploadKind kind) {
  return kind == UploadKind::Full ? QStringLiteral("Program File and Parameter List have been uploaded!")
                                  : QStringLiteral("The Parameter List has been uploaded!");
}

QString IgnoredFailuresText(int failures) {
  return QStringLiteral("%1 failure(s) were ignored because Check Errors is off.").arg(failures);
}

QString RepeatedExchangesText(int exchanges) {
  return QStringLiteral("%1 exchange(s) had to be repeated.").arg(exchanges);
}

QString NoisyLineText() {
  return QStringLiteral("The line is noisy: mend the cable and run the upload again before the pump goes back into "
                        "service, as such a line can change a command in a way the controller cannot report.");
}

QString RecordsSentAgainText(int records) {
  return QStringLiteral("%1 program record(s) had to be sent again: the line is noisy, and the controller cannot "
                        "check the program for the damage such a line may do. Mend the cable and run the full "
                        "upload again before the pump goes back into service.")
      .arg(records);
}

QString FinishInWindowText(const QString &valuesFrom) {
  const QString start = QStringLiteral("To finish it, start the upload again on this port: it offers to finish it");
  if (valuesFrom.isEmpty()) return start + " and asks for a backup of this controller to take the values from.";
  return start + ", writing back the identification values of " + QDir::toNativeSeparators(valuesFrom) + ".";
}

QString RescueInWindowText(const QString &backupPath) {
  const QString start = QStringLiteral("To finish it, choose \"Upload Parameter List and Program File\" and start the upload "
                                       "again: ");
  if (backupPath.isEmpty()) return start + "it asks for a backup of this controller to take the values from.";
  return start + "it offers to write back the identification values of " + QDir::toNativeSeparators(backupPath) + ".";
}

QString NothingChangedNoBackupText(bool silent, const QString &portName) {
  const QString unwritten = QStringLiteral("did not write %1.").arg(BackupFileName);
  if (silent) return NotAnsweringText(portName) + " This upload changed nothing in it and " + unwritten;
  return "Nothing in the controller was changed, and this upload " + unwritten;
}

QString NothingChangedText(UploadKind kind) {
  QString state = QStringLiteral("Nothing in the controller was changed.");
  if (kind == UploadKind::Full)
    state += QStringLiteral(" It waits in its boot monitor: take the bridge off pins 5 and 9, then switch "
                            "it off and on again.");
  return state;
}

QString NothingChangedStopText() {
  return QStringLiteral("Nothing in the controller was changed: remove the bridge of pins 5 and 9 if it is made, and "
                        "switch the controller off and on.");
}

QString MonitorAnswersText(const QString &portName, const LineAnswer &answer) {
  const QString where = "The controller's application does not answer on " + portName;
  if (answer.Who == Answerer::BootMonitor) return where + ", its boot monitor does (dialect " + answer.Dialect->Name() + ").";
  return where + ", a monitor does.";
}

QString MonitorMeansText(const LineAnswer &answer) {
  if (answer.Who == Answerer::BootMonitor)
    return QStringLiteral("Its pins 5 and 9 are bridged, or its program is missing: remove the bridge, switch the "
                          "controller off and on, and start the upload again. If its boot monitor still answers, a "
                          "full upload with the identification values of a backup of this controller finishes the job.");
  return QStringLiteral("Its program or its parameters are missing or incomplete, as an upload that did not finish "
                        "leaves them.") +
         CR + "A full upload with the identification values of a backup of this controller finishes the job.";
}

QString StaysBlankText(const QList<int> &windows) {
  if (windows.size() == IdWindowCount) return QStringLiteral("every identification window stays blank");
  QStringList numbers;
  for (int w : windows) numbers << QString::number(w);
  return (windows.size() == 1 ? "window " : "windows ") + numbers.join(", ") +
         (windows.size() == 1 ? " stays blank" : " stay blank");
}

QString NotWrittenBackText(const QString &staysBlank) {
  return "The identification windows were not written back, so " + staysBlank + "." + CR + InterruptionSentence();
}

QString OtherControllerText(const QString &portName, const QByteArray &part, const QByteArray &serial,
                            const UnfinishedAttempt &attempt, const QByteArray &wantedPart, const QByteArray &wantedSerial) {
  return "The controller on " + portName + " is not the one whose upload is to be finished: it holds Controller P/N " +
         QString::fromLatin1(part) + ", Controller S/N " + QString::fromLatin1(serial) + "; " + DescribeAttempt(attempt) +
         " was for Controller P/N " + QString::fromLatin1(wantedPart) + ", Controller S/N " +
         QString::fromLatin1(wantedSerial) + "." + CR + "Nothing was written to it.";
}

QString NumbersUnreadText(const QString &portName) {
  return "The controller's application answers on " + portName +
         ", but its windows 319 and 323 cannot be read, so it cannot be told whether it is the controller whose upload "
         "is to be finished. Nothing was written to it.";
}

QString NoValuesForFinishText(const UnfinishedAttempt &attempt) {
  return QStringLiteral("No backup holding this controller's identification values is known for %1.")
             .arg(DescribeAttempt(attempt)) +
         CR + "The upload has not been started.";
}

QString NothingComparedText() { return QStringLiteral("Nothing was compared and nothing was changed."); }

QString MonitorNotReachedText() {
  return QStringLiteral("Nothing was compared and nothing was written: switch the controller off and on.");
}

QString NoApplicationText(const QString &portName, bool anythingAnswered, const QString &answerer) {
  if (!anythingAnswered) return NotAnsweringText(portName);
  return "The controller's application does not answer on " + portName + ", " + answerer + " does." + CR +
         "Its program or its parameters are missing or incomplete: only a full upload brings it back.";
}

QString ExaminationStateText(ExaminationReached reached) {
  switch (reached) {
    case ExaminationReached::Monitor:
      return QStringLiteral("Nothing in the controller was written: switch it off and on to bring it back from its "
                            "monitor.");
    case ExaminationReached::Application: return QStringLiteral("Nothing in the controller was written.");
    case ExaminationReached::Nothing: break;
  }
  return QStringLiteral("Nothing in the controller was changed.");
}

QString LockUnreadText() {
  return QStringLiteral("The controller was locked before; its lock could not be read afterwards.");
}

QString RelockedText() {
  return QStringLiteral("The controller was locked before and no longer after the power cycle: it was locked again.");
}

QString RelockFailedText() {
  return QStringLiteral("The controller was locked before and no longer after the power cycle; locking it again failed.");
}
