#include "TerminalHost.h"

#include "KeptBackups.h"
#include "RestoreAnswers.h"
#include "StopSignals.h"
#include "UploadSteps.h"
#include "Wait.h"

#include <QProcess>

#include <cstdio>
#include <unistd.h>

namespace {

bool IsSuccess(const QString &message) {
  return message.startsWith("Program File and Parameter List have been uploaded!") ||
         message.startsWith("The Parameter List has been uploaded!");
}

void PrintLines(std::FILE *out, const QString &text) {
  for (const QString &line : text.split('\r')) std::fprintf(out, "%s\n", qPrintable(line));
  std::fflush(out);
}

}  // namespace

QString ErasedBackupText() {
  return QStringLiteral("Every identification window read zero or empty at the start, as an erased controller "
                        "answers: they are not written back.\rWrite the controller's own values with "
                        "--restore-from FILE (a backup of this controller, such as the one named below), or type "
                        "them with --restore ask.") +
         InterruptionTail();
}

QString PromptAction(const QString &message) {
  if (message.contains("create a short circuit between pins 5 and 9")) return "bridge-and-cycle";
  if (message.contains("remove the short circuit between pins 5 and 9")) return "unbridge-and-cycle";
  if (message.startsWith("Switch OFF and switch ON the controller.") ||
      message.startsWith("Controller in monitor mode."))
    return "cycle";
  return {};
}

QString PromptGuidance(const QString &message, bool again) {
  const QString action = PromptAction(message);
  const QString stop = QStringLiteral(" (Ctrl-C stops the upload)");
  if (action == "bridge-and-cycle")
    return again ? "The boot monitor did not answer: check the bridge of pins 5 and 9 and the power, then press Enter."
                 : "With the controller off, bridge pins 5 and 9, switch it on, then press Enter" + stop + ".";
  if (action == "unbridge-and-cycle")
    return again ? "The boot monitor still answers: remove the bridge of pins 5 and 9, switch the controller off "
                   "and on, then press Enter."
                 : "With the controller off, remove the bridge of pins 5 and 9, switch it on, then press Enter" +
                       stop + ".";
  if (message.startsWith("Controller in monitor mode."))
    return again ? "The controller is still in monitor mode: switch it off and on again, then press Enter."
                 : "Switch the controller off and on, then press Enter" + stop + ".";
  if (!action.isEmpty()) return "Switch the controller off and on; once its led blinks slowly, press Enter" + stop + ".";
  return {};
}

ExitStatus UploadOutcome(const TerminalHost &host) {
  if (!host.Started()) return host.PortRefused() ? ExitPortNotOpened : ExitRefused;
  if (const_cast<TerminalHost &>(host).Port().Lost()) return ExitConnectionLost;
  return IsSuccess(host.LastMessage()) ? ExitUploaded : ExitInterrupted;
}

TerminalHost::TerminalHost(const CliOptions &options)
    : options_(options), printer_(stdout, ::isatty(STDOUT_FILENO)) {
  port_.SetSettings(QStringLiteral("9600,N,8,1"));
  port_.SetTraceFile(options.TraceFile);
}

QString TerminalHost::PortName() { return PortChoiceName(options_.Port, port_.DeviceName()); }

QString TerminalHost::PortOpenFailure() {
  portRefused_ = true;
  return PortChoiceFailure(options_.Port, port_);
}

void TerminalHost::SetStepCaption(const QString &caption) {
  StopIfSignalled();
  port_.TraceNote("STEP", caption);
  printer_.Caption(caption);
  where_ = caption;
  if (caption == "Clear Flash memory") reached_ = Reached::Erasing;
  if (caption == "Setting Controller in Monitor Mode") reached_ = Reached::Monitor;
}

void TerminalHost::SetProgressMin(int v) { progress_.SetMin(v); }
void TerminalHost::SetProgressMax(int v) { progress_.SetMax(v); }

void TerminalHost::SetProgressValue(int v) {
  StopIfSignalled();
  progress_.SetValue(v);
  printer_.Show(progress_);
}

void TerminalHost::Wait(double seconds) {
  ::Wait(seconds);
  StopIfSignalled();
}

void TerminalHost::StopIfSignalled() {
  const int signal = StopSignal();
  if (signal == 0 || stopping_) return;
  stopping_ = true;  // the message that ends the upload comes through here too
  port_.TraceNote("ANS", StopSignalName(signal));
  QString text = QStringLiteral("The upload was stopped by %1 during \"%2\".").arg(StopSignalName(signal), where_);
  text += "\r" + StateAfterStop();
  if (reached_ != Reached::Nothing) text += InterruptionTail();
  throw UploadEnded{text, ExitInterrupted};
}

QString TerminalHost::HostEnding() const {
  if (stopping_) return QStringLiteral("cut short by %1 at \"%2\"").arg(StopSignalName(StopSignal()), where_);
  return QStringLiteral("interrupted at \"%1\"").arg(where_);
}

// What the technician has to do with the controller as the upload left it.
QString TerminalHost::StateAfterStop() const {
  switch (reached_) {
    case Reached::Nothing:
      return QStringLiteral("Nothing in the controller was changed: remove the bridge of pins 5 and 9 if it is made, "
                            "and switch the controller off and on.");
    case Reached::Erasing:
      return QStringLiteral("The controller's memory was being erased or programmed: it has no complete program and "
                            "starts only into its boot monitor. Run the full upload again.");
    case Reached::ProgramWritten:
    case Reached::Monitor:
      return QStringLiteral("The parameter list is not completely written: remove the bridge of pins 5 and 9 if it "
                            "is made, switch the controller off and on, and run the upload again.");
    case Reached::Tail:
      break;
  }
  return QStringLiteral("The parameter list was written, but the identification windows may not all be written back "
                        "and the controller is not locked: run the upload again with --restore-from and the backup "
                        "named below.");
}

void TerminalHost::SetOuterHeightTwips(int twips) {
  if (twips == UploadHeightTwips) started_ = true;
}

// Prompts and the success go to standard output; everything else the driver
// says is a refusal, a failure or an interruption and goes to standard error.
void TerminalHost::Message(const QString &text) {
  StopIfSignalled();
  printer_.Break();
  // The driver shows a prompt again only when the controller did not answer it.
  const bool again = text == lastMessage_;
  lastMessage_ = text;
  port_.TraceNote("MSG", text);
  const QString action = PromptAction(text);
  PrintLines(action.isEmpty() && !IsSuccess(text) ? stderr : stdout, text);
  if (action.isEmpty()) return;
  where_ = QString(text).replace('\r', ' ');
  if (action == "unbridge-and-cycle") reached_ = Reached::ProgramWritten;
  if (text.startsWith("Switch OFF and switch ON the controller.")) reached_ = Reached::Tail;
  Answer(action, PromptGuidance(text, again));
}

void TerminalHost::EndMessage(const QString &text) {
  printer_.Break();
  lastMessage_ = text;
  port_.TraceNote("MSG", text);
  PrintLines(stderr, text);
}

void TerminalHost::Answer(const QString &action, const QString &guidance) {
  if (options_.Actions.isEmpty()) WaitForEnter(guidance);
  else RunAction(action);
}

void TerminalHost::WaitForEnter(const QString &guidance) {
  std::fprintf(stdout, "%s\n", qPrintable(guidance));
  std::fflush(stdout);
  QByteArray line;
  const bool answered = ReadLineUnlessStopped(stdin, line);
  StopIfSignalled();
  if (!answered)
    throw UploadEnded{"No answer to the prompt: the input has ended." + InterruptionTail(), ExitInterrupted};
  port_.TraceNote("ANS", QStringLiteral("Enter"));
}

void TerminalHost::RunAction(const QString &action) {
  QStringList command = QProcess::splitCommand(options_.Actions);
  const QString program = command.takeFirst();
  QProcess process;
  // The hook's own output belongs to the bench's log, not to ours.
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(program, command << action);
  const bool ran = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
  StopIfSignalled();
  const int status = ran ? process.exitCode() : -1;
  port_.TraceNote("ANS", QStringLiteral("%1: exit %2").arg(action).arg(status));
  if (ran && status == 0) return;
  const QString why = ran ? QStringLiteral("exit status %1").arg(status) : process.errorString();
  throw UploadEnded{QStringLiteral("The action \"%1\" failed (%2).").arg(action, why) + InterruptionTail(),
                    ExitInterrupted};
}

void TerminalHost::ShowRestoreDialog() {
  printer_.Break();
  ++restoreShowings_;
  if (options_.Restore == RestoreMode::Keep && restoreShowings_ > 3)
    throw UploadEnded{"The identification windows were refused three times." + InterruptionTail(), ExitInterrupted};
  port_.TraceNote("MSG", QStringLiteral("Windows Updating"));
  where_ = QStringLiteral("Windows Updating");
  RestoreChoice choice = restoreValues_ ? RestoreChoice(*restoreValues_) : RestoreChoice();
  const char *heading = restoreValues_ ? "Identification windows to write back, from the --restore-from file:"
                                       : "Identification windows saved at the start of the upload:";
  if (options_.Restore == RestoreMode::Keep && !restoreValues_ && BackupLooksErased())
    throw UploadEnded{ErasedBackupText(), ExitInterrupted};
  if (options_.Restore == RestoreMode::Ask) choice = AskRestore(stdin, stdout, choice, heading);
  else if (options_.Restore == RestoreMode::Keep && restoreValues_) ListRestore(stdout, choice, heading);
  else choice.Send = options_.Restore == RestoreMode::Keep;
  StopIfSignalled();
  port_.TraceNote("ANS", DescribeChoice(choice));
  std::fputs(choice.Send ? "Writing the identification windows back.\n" : "Identification windows not written.\n",
             stdout);
  std::fflush(stdout);
  if (choice.Send) RestoreControllerParameters(port_, choice.Values);
}
