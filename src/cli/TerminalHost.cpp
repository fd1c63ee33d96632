#include "TerminalHost.h"

#include "RestoreAnswers.h"
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

QString PromptAction(const QString &message) {
  if (message.contains("create a short circuit between pins 5 and 9")) return "bridge-and-cycle";
  if (message.contains("remove the short circuit between pins 5 and 9")) return "unbridge-and-cycle";
  if (message.startsWith("Switch OFF and switch ON the controller.") ||
      message.startsWith("Controller in monitor mode."))
    return "cycle";
  return {};
}

ExitStatus UploadOutcome(const TerminalHost &host) {
  if (!host.Started()) return host.LastMessage().startsWith("Serial port") ? ExitPortNotOpened : ExitRefused;
  if (const_cast<TerminalHost &>(host).Port().Lost()) return ExitConnectionLost;
  return IsSuccess(host.LastMessage()) ? ExitUploaded : ExitInterrupted;
}

TerminalHost::TerminalHost(const CliOptions &options, qint16 comPort, const QString &device)
    : options_(options), comPort_(comPort), device_(device), printer_(stdout, ::isatty(STDOUT_FILENO)) {
  port_.SetSettings(QStringLiteral("9600,N,8,1"));
  port_.SetTraceFile(options.TraceFile);
}

void TerminalHost::SetStepCaption(const QString &caption) {
  port_.TraceNote("STEP", caption);
  printer_.Caption(caption);
}

void TerminalHost::SetProgressMin(int v) { progress_.SetMin(v); }
void TerminalHost::SetProgressMax(int v) { progress_.SetMax(v); }

void TerminalHost::SetProgressValue(int v) {
  progress_.SetValue(v);
  printer_.Show(progress_);
}

void TerminalHost::Wait(double seconds) { ::Wait(seconds); }

void TerminalHost::SetOuterHeightTwips(int twips) {
  if (twips == UploadHeightTwips) started_ = true;
}

// Prompts and the success go to standard output; everything else the driver
// says is a refusal, a failure or an interruption and goes to standard error.
void TerminalHost::Message(const QString &text) {
  printer_.Break();
  lastMessage_ = text;
  port_.TraceNote("MSG", text);
  const QString action = PromptAction(text);
  PrintLines(action.isEmpty() && !IsSuccess(text) ? stderr : stdout, text);
  if (!action.isEmpty()) Answer(action);
}

void TerminalHost::Answer(const QString &action) {
  if (options_.Actions.isEmpty()) WaitForEnter();
  else RunAction(action);
}

void TerminalHost::WaitForEnter() {
  std::fputs("Press Enter when done.\n", stdout);
  std::fflush(stdout);
  char line[256];
  if (!std::fgets(line, sizeof line, stdin))
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
  RestoreChoice choice;
  if (options_.Restore == RestoreMode::Ask) choice = AskRestore(stdin, stdout);
  else choice.Send = options_.Restore == RestoreMode::Keep;
  port_.TraceNote("ANS", DescribeChoice(choice));
  std::fputs(choice.Send ? "Writing the identification windows back.\n" : "Identification windows not written.\n",
             stdout);
  std::fflush(stdout);
  if (choice.Send) RestoreControllerParameters(port_, choice.Values);
}
