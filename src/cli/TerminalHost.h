#pragma once
// The upload driver's host on a terminal or in a script: messages printed
// line by line, prompts answered by Enter or by the actions hook, the
// identification windows restored as --restore says.

#include "CliOptions.h"
#include "ProgressPrinter.h"
#include "SerialPort.h"
#include "UploadDriver.h"
#include "mdlGlobal.h"

#include <QString>

#include <array>
#include <optional>

// Thrown by the host to end an upload the driver would go on with (a failed
// action, no answer to a prompt, windows refused too often); caught around
// StartUpload, which it leaves with the port still open.
struct UploadEnded {
  QString Text;
  ExitStatus Status = ExitInterrupted;
};

class TerminalHost : public UploadHost {
 public:
  explicit TerminalHost(const CliOptions &options);

  SerialPort &Port() override { return port_; }
  qint16 CheckErrors() const override { return options_.CheckErrors ? -1 : 0; }
  QString ParameterFile() const override { return options_.ParameterFile; }
  QString ProgramFile() const override { return options_.ProgramFile; }
  qint16 UploadMode() const override { return options_.ProgramFile.isEmpty() ? 0 : -1; }
  qint16 ComPort() const override { return options_.Port.Number; }
  QString ComPortDevice() const override { return options_.Port.Device; }
  QString PortName() override;
  QString PortOpenFailure() override;

  void SetStepCaption(const QString &caption) override;
  void SetProgressMin(int v) override;
  void SetProgressMax(int v) override;
  void SetProgressValue(int v) override;
  int ProgressValue() const override { return progress_.Value; }
  void Repaint() override {}
  void Wait(double seconds) override;

  void Message(const QString &text) override;
  // The message of an upload the host ended: never taken for a prompt, though
  // it may quote one.
  void EndMessage(const QString &text);
  void ShowRestoreDialog() override;
  void SetOuterHeightTwips(int twips) override;
  void SetBusy(bool) override {}
  QString JournalFile() const override { return options_.JournalFile; }
  QString HostEnding() const override;

  // --restore-from: these values are written back instead of those read.
  void SetRestoreValues(const std::array<QByteArray, IdWindowCount> &values) { restoreValues_ = values; }

  // The port opened and the sequence ran.
  bool Started() const { return started_; }
  // The port did not open.
  bool PortRefused() const { return portRefused_; }
  QString LastMessage() const { return lastMessage_; }

 private:
  void Answer(const QString &action, const QString &guidance);
  void RunAction(const QString &action);
  void WaitForEnter(const QString &guidance);
  // Ends the upload when a stop signal came since the last call.
  void StopIfSignalled();
  QString StateAfterStop() const;

  CliOptions options_;
  SerialPort port_;
  ProgressState progress_;
  ProgressPrinter printer_;
  bool started_ = false;
  bool portRefused_ = false;
  int restoreShowings_ = 0;
  QString lastMessage_;
  std::optional<std::array<QByteArray, IdWindowCount>> restoreValues_;

  // How far the upload got, for what a stop signal leaves behind.
  enum class Reached { Nothing, Erasing, ProgramWritten, Monitor, Tail };
  Reached reached_ = Reached::Nothing;
  QString where_;  // the step caption or prompt at hand
  bool stopping_ = false;
};

// What a prompt asks of the technician's hands: "bridge-and-cycle",
// "unbridge-and-cycle", "cycle", or empty for a message that asks nothing.
QString PromptAction(const QString &message);

// Why --restore keep writes nothing back after a backup of blanks.
QString ErasedBackupText();

// The line printed under a prompt that waits for Enter: what to do there, or,
// when the same prompt comes `again` because the controller did not answer as
// it expects, what to check.
QString PromptGuidance(const QString &message, bool again);

// The exit status once StartUpload has returned normally.
ExitStatus UploadOutcome(const TerminalHost &host);
