#pragma once
// The upload driver's host on a terminal or in a script: messages printed
// line by line, prompts answered by Enter or by the actions hook, the
// identification windows restored as --restore says.

#include "CliOptions.h"
#include "ProgressPrinter.h"
#include "SerialPort.h"
#include "UploadDriver.h"
#include "IdWindows.h"

#include <QString>

#include <array>
#include <cstdio>
#include <optional>

class TerminalHost : public UploadHost {
 public:
  // `folder`: the working folder, where the backups and the journal are.
  TerminalHost(const CliOptions &options, const QDir &folder);

  SerialPort &Port() override { return port_; }
  bool CheckErrors() const override { return options_.CheckErrors; }
  QString ParameterFile() const override { return options_.ParameterFile; }
  QString ProgramFile() const override { return options_.ProgramFile; }
  UploadKind UploadMode() const override {
    return options_.ProgramFile.isEmpty() ? UploadKind::ParameterList : UploadKind::Full;
  }
  int ComPort() const override { return options_.Port.Number; }
  QString ComPortDevice() const override { return options_.Port.Device; }
  bool PortGivenByPath() const override { return !options_.Port.Device.isEmpty(); }
  QString PortName() override;
  QString PortOpenFailure(const QString &notStarted) override;

  void SetStep(Step step) override;
  void SetProgressMin(int v) override;
  void SetProgressMax(int v) override;
  void SetProgressValue(int v) override;
  int ProgressValue() const override { return progress_.Value; }
  void Repaint() override {}
  void Wait(double seconds) override;

  void Message(const QString &text) override;
  PromptAnswer Prompt(PromptKind kind, const QString &text, bool again) override;
  void Uploaded(const QString &text) override;
  PromptAnswer ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &staysBlank) override;
  void UploadStarted() override {}
  void UploadEnded() override {}
  void SetBusy(bool) override {}
  QString FinishWithBackup(const FinishOffer &offer) override;
  QString FinishHint(const QString &valuesFrom) const override;
  QString RescueHint(const QString &backupPath) const override;
  QString JournalFile() const override { return options_.JournalFile; }
  QString HostEnding() const override;
  QString HostEndingText() const override { return endingText_; }
  bool WaitForPort(const QString &text, const QDeadlineTimer &deadline, const std::function<bool()> &back) override;
  int PortWaitSeconds() const override { return options_.PortWaitSeconds; }

  // --restore-from: these values are written back instead of those read.
  void SetRestoreValues(const std::array<QByteArray, IdWindowCount> &values) { restoreValues_ = values; }
  // --finish: the values shown at the restore are those of `valuesFrom`.
  void SetFinishing(const QString &valuesFrom) { finishingWith_ = valuesFrom; }

  QString LastMessage() const { return lastMessage_; }


 private:
  void Show(const QString &text, std::FILE *out);
  // False when the upload has to end, for the reason HostEndingText() gives.
  bool RunAction(const QString &action);
  bool WaitForEnter(const QString &guidance);
  bool Ended(const QString &why);
  // Ends the upload when a stop signal came since the last call, or came
  // before: true from then on.
  bool StopIfSignalled();

  CliOptions options_;
  QDir folder_;
  SerialPort port_;
  ProgressState progress_;
  ProgressPrinter printer_;
  int restoreShowings_ = 0;
  QString lastMessage_;
  std::optional<std::array<QByteArray, IdWindowCount>> restoreValues_;
  QString finishingWith_;

  QString where_;  // the step caption or prompt at hand
  QString endingText_;  // why this host ended the upload
  bool stopping_ = false;
};

// The command line `arguments` (the program first) with --restore-from
// naming `backup` and --program present: the full upload that brings back a
// controller no journal line accounts for. Quoted for the platform's shell.
QString RescueCommand(const QStringList &arguments, const QString &backup);

// What finishes the attempt left on this port in this folder: the program,
// the port, the folder, journal, actions and trace when they were given,
// --finish, and --restore-from when no backup holding values is known.
QString FinishCommand(const QString &program, const CliOptions &options, const QString &valuesFrom);

// The exit status of an upload's verdict.
ExitStatus ExitStatusOf(const UploadVerdict &verdict);

// What a prompt asks of the technician's hands: "bridge-and-cycle",
// "unbridge-and-cycle", "cycle", or empty for one that asks nothing.
QString PromptAction(PromptKind kind);

struct BlankVerdict;

// Why --restore keep writes nothing back after a backup of blanks: all of
// them, or some where a kept backup holds values; and the kept backups
// that hold them.
QString ErasedBackupText(const IdBackup &rows, const BlankVerdict &blanks, const QDir &folder);

// The line printed under a prompt that waits for Enter: what to do there, or,
// when the same prompt comes `again` because the controller did not answer as
// it expects, what to check.
QString PromptGuidance(PromptKind kind, bool again);
