#pragma once
// A front end for the upload steps and the driver without a window: it records
// what they show, in order, answers each message from a script, and stands in
// for the restore dialog by writing back (or not) what the script says. The
// port is the real one, opened by the driver on the simulated controller.

#include "FailureRecord.h"
#include "InputFile.h"
#include "Progress.h"
#include "StepProgress.h"
#include "SerialPort.h"
#include "UploadDriver.h"
#include "IdWindows.h"
#include "IdentificationRestore.h"

#include <QStringList>

#include <functional>
#include <type_traits>

class ScriptedHost;
// The files the host's choices name, read as the driver reads them.
InputFile ListOf(const ScriptedHost &host);
InputFile ProgramOf(const ScriptedHost &host);

// A step's ending added to `record`, as the driver adds it up; passed on.
template <typename Ending>
Ending Into(FailureRecord &record, const Ending &ending) {
  if constexpr (std::is_same_v<Ending, StepResult>) record.Take(ending);
  else record.Take(ending.Result);
  return ending;
}

class ScriptedHost : public UploadHost {
 public:
  explicit ScriptedHost(SerialPort &port) : port_(port) {}

  // What the technician chose.
  bool Check = false;
  UploadKind Mode = UploadKind::ParameterList;
  int Com = 1;
  QString ParameterPath, ProgramPath;

  // What the steps are handed to show themselves on.
  StepProgress Frame{*this};
  // What the steps showed: "caption X", "min 0", "max 5", "value 3", "wait 0.1", "repaint".
  QStringList Events;
  ProgressState Progress;
  QString Caption;
  double WaitedSeconds = 0;
  // Pauses really pass, for cases that depend on what arrives meanwhile.
  bool SleepOnWait = false;
  // How long a lost port is waited for; 0: it ends the upload at once.
  int PortWait = 0;
  int PortWaitsSeen = 0;  // times the driver waited for it

  // What the driver showed and did.
  QStringList Messages;  // lines joined by "\n", as a reader sees them
  int RestoreDialogsShown = 0;
  QString StaysBlank;    // what the last restore dialog said a Cancel leaves blank
  QList<int> Heights;    // every outer height the window would take, in twips
  QList<bool> BusyStates;

  // Called with each step caption as it is set.
  std::function<void(const QString &)> OnCaption;
  // Answers each prompt after it is shown; Continue when unset.
  std::function<PromptAnswer(PromptKind)> OnPrompt;
  // Called with each message before it is answered with OK.
  std::function<void(const QString &)> OnMessage;
  // The restore dialog: the boxes start as the backup's values; the script may
  // change them and returns whether "Send and Lock the Controller" is pressed
  // (false: cancelled). By default the saved values are sent unchanged.
  std::function<bool(IdWindowTexts &)> OnRestoreDialog;

  QStringList EventsStartingWith(const QString &prefix) const;

  // Ends the upload as a stop signal would: the port lets nothing more pass,
  // and `reason` is what the host says of it.
  void StopUpload(const QString &reason) {
    StopReason = reason;
    port_.Stop();
  }
  QString StopReason;
  QString HostEndingText() const override { return StopReason; }

  SerialPort &Port() override { return port_; }
  int PortWaitSeconds() const override { return PortWait; }
  bool WaitForPort(const QString &text, const QDeadlineTimer &deadline, const std::function<bool()> &back) override {
    ++PortWaitsSeen;
    return UploadHost::WaitForPort(text, deadline, back);
  }
  bool CheckErrors() const override { return Check; }
  QString ParameterFile() const override { return ParameterPath; }
  QString ProgramFile() const override { return ProgramPath; }
  void SetStep(Step step) override;
  void SetProgressMin(int v) override;
  void SetProgressMax(int v) override;
  void SetProgressValue(int v) override;
  int ProgressValue() const override { return Progress.Value; }
  void Repaint() override { Events << "repaint"; }
  void Wait(double seconds) override;

  UploadKind UploadMode() const override { return Mode; }
  int ComPort() const override { return Com; }
  void Message(const QString &text) override;
  PromptAnswer Prompt(PromptKind kind, const QString &text, bool again) override;
  PromptAnswer ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &staysBlank) override;
  void UploadStarted() override { Heights << 5000; }
  void UploadEnded() override { Heights << 3450; }
  void SetBusy(bool busy) override { BusyStates << busy; }

 private:
  SerialPort &port_;
};
