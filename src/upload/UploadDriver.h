#pragma once
// One press of "Start Upload" turned into a complete upload: the file and
// port checks, the two sequences with the technician's prompts, the test
// points, the interruption message and the restore loop.

#include "StepHost.h"
#include "IdWindows.h"
#include "IdentificationRestore.h"
#include "LineAnswer.h"
#include "UnfinishedUpload.h"

#include <QString>

#include <functional>

enum class OpenFault;  // SerialPort.h

// How an upload ended.
enum class UploadResult {
  Uploaded,
  Refused,        // a file or the working folder unfit: nothing was started
  PortNotOpened,
  Interrupted,    // a test point, a fault reported or the host stopped it
  ConnectionLost,
};

// How the journal and the demo name a result: "uploaded", "port not opened", ...
QString ResultWords(UploadResult result);

// What a prompt asks of the technician, beside its text.
enum class PromptKind {
  Bridge,      // power-cycle with pins 5 and 9 bridged
  Unbridge,    // power-cycle with the bridge removed
  PowerCycle,  // switch off and on, to leave the monitor
  InMonitor,   // the controller still answers as the monitor: again
  Repeat,      // a restore write failed: the dialog comes again
};

// The host's answer to a prompt or the restore dialog: Abort ends the upload
// as an interruption, the host having said why.
enum class PromptAnswer { Continue, Abort };

// Writes the texts the technician confirmed to the identification windows.
using RestoreWrite = std::function<RestoreRound(const IdWindowTexts &)>;

// The controller's application did not answer, a monitor did: the full upload
// an earlier one left unfinished can be finished with a backup's values.
struct FinishOffer {
  LineAnswer Answer;
  QString Said;  // what answers and what that means, lines joined by CR
  std::optional<FinishingBackup> Backup;  // the journal's unfinished upload's backup
};

// The program file and the parameter list, or the parameter list alone.
enum class UploadKind { Full, ParameterList };

// What the driver needs of the main window beyond what the steps use.
class UploadHost : public StepHost {
 public:
  virtual UploadKind UploadMode() const = 0;
  virtual int ComPort() const = 0;
  // The device chosen with the port number, opened whatever the number names
  // by now; empty: the number decides.
  virtual QString ComPortDevice() const { return {}; }
  // The port was given by its device path alone: ComPort() is no choice of the technician's.
  virtual bool PortGivenByPath() const { return false; }
  // How messages name the open port: "serial port 2 (/dev/ttyUSB1)".
  virtual QString PortName();
  // What the technician is told when the port does not open.
  virtual QString PortOpenFailure();
  // Modal, one OK button, no icon, captioned "Calvenori Uploader"; lines joined by CR.
  virtual void Message(const QString &text) = 0;
  // A message that asks the technician to act; by default shown like any other.
  // `again`: the same prompt once more, the controller not having answered
  // as the last one asked.
  virtual PromptAnswer Prompt(PromptKind, const QString &text, bool again) {
    Q_UNUSED(again)
    Message(text);
    return PromptAnswer::Continue;
  }
  // The closing message of an upload that completed.
  virtual void Uploaded(const QString &text) { Message(text); }
  // RestoreDialog, modal, owned by the main window, showing `rows`; "Send and
  // Lock the Controller" hands its texts to `write`. Returns once it has closed.
  virtual PromptAnswer ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write) = 0;
  // The port is open and the steps begin; they have ended and the port is closed.
  virtual void UploadStarted() = 0;
  virtual void UploadEnded() = 0;
  // While busy nothing the event loop delivers can act on the window.
  virtual void SetBusy(bool busy) = 0;
  // Full mode, a monitor answering instead of the application: the backup
  // whose identification values the upload goes on with, or empty to end it.
  virtual QString FinishWithBackup(const FinishOffer &) { return {}; }
  // The line telling how to finish a full upload that stopped after the erase,
  // with the values of `backupPath` (empty when no backup holds any).
  virtual QString FinishHint(const QString &backupPath) const;
  // Where the journal of uploads goes, relative to the working folder; empty:
  // calvenori-uploads.csv there.
  virtual QString JournalFile() const { return {}; }
  // How an upload the host ended itself (by throwing out of the driver)
  // ended, in the journal's words.
  virtual QString HostEnding() const { return QStringLiteral("interrupted"); }
};

// How an upload ended, and whether the journal holds its line (when it does
// not, the technician was told so before the last message, unless the upload
// was refused before the port: that refusal says what is wrong already).
struct UploadVerdict {
  UploadResult Result = UploadResult::Refused;
  bool Journalled = false;
};

// One press of Start Upload, from the checks to the last message.
UploadVerdict RunUpload(UploadHost &host, const QDir &folder);
// The click of cmdStartDownload.
UploadResult StartUpload(UploadHost &host, const QDir &folder);

// The texts the technician is shown, lines joined by CR.
// `withRescue`: followed by the line naming a kept backup when the latest one
// holds no controller's values.
QString InterruptionText(const QString &step, const QDir &folder, bool withRescue = true);
// The interruption message's last two lines, pointing at the backup.
QString InterruptionTail(const QDir &folder, bool withRescue = true);
QString BackupPathForMessage(const QDir &folder);
// A window that got no byte back on `portName`: the line or the power, not the values.
QString NotAnsweringText(const QString &portName);
// `reason` in the system's words; `fault` picks the one tip that fits it, if any.
QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, OpenFault fault);
// How a program lets the technician pick a port, as the tips say it.
struct PortPicking {
  QString Again;    // the same port, once plugged in
  QString Another;  // another port
};
// The one tip for what the system said of a port that did not open; empty
// where it said something no tip fits.
QString OpenFaultTip(OpenFault fault, const PortPicking &picking);
