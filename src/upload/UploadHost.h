#pragma once
// What an upload needs of whatever shows it (the main window, the terminal, a
// test's recorder), and the plain types the two sides share: how an upload
// ended, what a prompt asks, what the technician answers.

#include "StepHost.h"
#include "IdWindows.h"
#include "IdentificationRestore.h"
#include "LineAnswer.h"
#include "UnfinishedUpload.h"
#include "UploadStage.h"

#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <optional>

enum class OpenFault;  // SerialPort.h

// How long a port lost during an upload is waited for: time to find the
// adapter, plug it in again and let the system name the device again.
constexpr int DefaultPortWaitSeconds = 60;

// How an upload ended.
enum class UploadResult {
  Uploaded,
  Refused,        // a file or the working folder unfit: nothing was started
  PortNotOpened,
  Interrupted,    // a test point, a fault reported or the host stopped it
  ConnectionLost,
};

// What a prompt asks of the technician, beside its text.
enum class PromptKind {
  Bridge,      // power-cycle with pins 5 and 9 bridged
  Unbridge,    // power-cycle with the bridge removed
  PowerCycle,  // switch off and on, to leave the monitor
  InMonitor,   // the controller still answers as the monitor: again
  Repeat,      // a restore write failed: the dialog comes again
};

// The host's answer to a prompt or the restore dialog: Abort ends the upload
// as an interruption, for the reason HostEndingText() gives.
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

// What the driver needs of the main window beyond what the steps use.
class UploadHost : public StepHost {
 public:
  virtual SerialPort &Port() = 0;
  virtual bool CheckErrors() const = 0;
  // The files as chosen; the driver reads them once, at the start.
  virtual QString ParameterFile() const = 0;
  virtual QString ProgramFile() const = 0;
  virtual UploadKind UploadMode() const = 0;
  virtual int ComPort() const = 0;
  // The device chosen with the port number, opened whatever the number names
  // by now; empty: the number decides.
  virtual QString ComPortDevice() const { return {}; }
  // The port was given by its device path alone: ComPort() is no choice of the technician's.
  virtual bool PortGivenByPath() const { return false; }
  // How messages name the open port: "serial port 2 (/dev/ttyUSB1)".
  virtual QString PortName();
  // What the technician is told when the port does not open; `notStarted`
  // says what was not done.
  virtual QString PortOpenFailure(const QString &notStarted);
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
  // `staysBlank`: what a Cancel leaves blank in the controller (the windows
  // were erased), for a host that asks before it cancels; empty: nothing.
  virtual PromptAnswer ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write,
                                         const QString &staysBlank) = 0;
  // The port is open and the steps begin; they have ended and the port is closed.
  virtual void UploadStarted() = 0;
  virtual void UploadEnded() = 0;
  // While busy nothing the event loop delivers can act on the window.
  virtual void SetBusy(bool busy) = 0;
  // Full mode, a monitor answering instead of the application: the backup
  // whose identification values the upload goes on with, or empty to end it.
  virtual QString FinishWithBackup(const FinishOffer &) { return {}; }
  // The line telling how to finish an upload that stopped halfway, with the
  // values of `valuesFrom` (empty when no backup is known to hold them).
  virtual QString FinishHint(const QString &valuesFrom) const;
  // The line telling how a full upload with the values of `backupPath` (empty:
  // a backup of this controller yet to be named) brings back a controller
  // that no attempt in the journal accounts for.
  virtual QString RescueHint(const QString &backupPath) const;
  // Where the journal of uploads goes, relative to the working folder; empty:
  // calvenori-uploads.csv there.
  virtual QString JournalFile() const { return {}; }
  // How an upload the host ended itself (a prompt answered Abort, a stop signal)
  // ended, in the journal's words.
  virtual QString HostEnding() const { return QStringLiteral("interrupted"); }
  // Why the host ended it, in the technician's words; the driver adds what
  // the controller needs and the way on, and shows it once the journal has
  // the line. Empty: the host has nothing to say.
  virtual QString HostEndingText() const { return {}; }
  // The port went away during an upload: says `text` and waits until
  // `back()`, tried every quarter second, is true (true), the deadline has
  // passed, or the technician gives up or stops the upload (false). By
  // default it says nothing.
  virtual bool WaitForPort(const QString &text, const QDeadlineTimer &deadline, const std::function<bool()> &back);
  // How long WaitForPort may wait; 0: a lost port ends the upload at once.
  virtual int PortWaitSeconds() const { return DefaultPortWaitSeconds; }
  // Opens the port; a window opens it off its own thread, with a time limit.
  virtual bool OpenPort(SerialPort &port);
  // The device the journal names for this port: the one chosen, or the one the number names.
  QString JournalDevice();
};
