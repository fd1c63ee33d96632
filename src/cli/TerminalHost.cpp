#include "TerminalHost.h"

#include "ConsoleText.h"
#include "ControllerLine.h"
#include "KeptBackups.h"
#include "PortComeback.h"
#include "RestoreAnswers.h"
#include "StopSignals.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "Wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

void PrintLines(std::FILE *out, const QString &text) {
  for (const QString &line : text.split('\r')) WriteText(out, line + '\n');
  std::fflush(out);
}

}  // namespace

QString ErasedBackupText(const IdBackup &rows, const BlankVerdict &blanks, const QDir &folder) {
  QString what;
  if (blanks.Erased) {
    const bool allAnswered = std::none_of(rows.begin(), rows.end(), [](const IdWindow &row) { return row.ReadFailed; });
    what = QStringLiteral("Every identification window %1 zero or empty at the start, as an erased controller "
                          "answers: they are not written back.")
               .arg(allAnswered ? "read" : "that answered read");
  } else {
    QStringList windows;
    for (int win : blanks.SuspectWindows()) windows << QString::number(win);
    what = QStringLiteral("Identification window%1 %2 read zero or empty at the start, where a kept backup holds a "
                          "value: no window is written back.")
               .arg(windows.size() == 1 ? "" : "s", windows.join(", "));
  }
  // The kept backup is named whether the whole backup or only some of its
  // windows hold no controller's values.
  QString rescue = RescueBackupLine(folder);
  if (rescue.isEmpty()) rescue = KeptValuesLines(blanks.Suspect);
  return what +
         "\rWrite the controller's own values with --restore-from FILE (a backup of this controller, such as the "
         "one named below), or type them with --restore ask." +
         (rescue.isEmpty() ? QString() : "\r" + rescue);
}

namespace {

QString ShellQuoted(const QString &arg) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./\\-]+$"));
  if (plain.match(arg).hasMatch()) return arg;
#ifdef Q_OS_WIN
  return '"' + QString(arg).replace('"', "\\\"") + '"';
#else
  return '\'' + QString(arg).replace('\'', "'\\''") + '\'';
#endif
}

bool IsOption(const QString &arg, const char *name) {
  return arg == QLatin1String(name) || arg.startsWith(QLatin1String(name) + '=');
}

}  // namespace

QString RescueCommand(const QStringList &arguments, const QString &backup) {
  QStringList command{arguments.value(0)};
  bool program = false;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString &arg = arguments[i];
    if (IsOption(arg, "--restore-from")) {
      if (arg == "--restore-from") ++i;  // its value goes with it
      continue;
    }
    program = program || IsOption(arg, "--program");
    command << arg;
  }
  if (!program) command << "--program" << "PROGRAM.s19";
  command << "--restore-from" << (backup.isEmpty() ? QStringLiteral("BACKUP.txt") : QDir::toNativeSeparators(backup));
  QStringList quoted;
  for (const QString &arg : command) quoted << ShellQuoted(arg);
  return quoted.join(' ');
}

QString FinishCommand(const QString &program, const CliOptions &options, const QString &valuesFrom) {
  QStringList command{program};
  if (!options.Folder.isEmpty()) command << "--folder" << QDir::toNativeSeparators(options.Folder);
  command << "--port"
          << (options.Port.Device.isEmpty() ? QString::number(options.Port.Number)
                                            : QDir::toNativeSeparators(options.Port.Device));
  if (!options.JournalFile.isEmpty()) command << "--journal" << QDir::toNativeSeparators(options.JournalFile);
  // A bench's hands and trace go on as they were.
  if (!options.Actions.isEmpty()) command << "--actions" << options.Actions;
  if (!options.TraceFile.isEmpty()) command << "--trace" << QDir::toNativeSeparators(options.TraceFile);
  command << "--finish";
  if (valuesFrom.isEmpty()) command << "--restore-from" << "BACKUP.txt";
  QStringList quoted;
  for (const QString &arg : command) quoted << ShellQuoted(arg);
  return quoted.join(' ');
}

ExitStatus ExitStatusOf(const UploadVerdict &verdict) {
  switch (verdict.Result) {
    // A completed upload the journal does not record is not done with: the
    // record is what the workshop keeps of it.
    case UploadResult::Uploaded: return verdict.Journalled ? ExitUploaded : ExitNotJournalled;
    case UploadResult::Refused: return ExitRefused;
    case UploadResult::PortNotOpened: return ExitPortNotOpened;
    case UploadResult::Interrupted: return ExitInterrupted;
    case UploadResult::ConnectionLost: return ExitConnectionLost;
  }
  return ExitInterrupted;
}

QString PromptAction(PromptKind kind) {
  switch (kind) {
    case PromptKind::Bridge: return QStringLiteral("bridge-and-cycle");
    case PromptKind::Unbridge: return QStringLiteral("unbridge-and-cycle");
    case PromptKind::PowerCycle:
    case PromptKind::InMonitor: return QStringLiteral("cycle");
    case PromptKind::Repeat: break;
  }
  return {};
}

QString PromptGuidance(PromptKind kind, bool again) {
  const QString stop = QStringLiteral(" (Ctrl-C stops the upload)");
  if (kind == PromptKind::Bridge)
    return again ? "The boot monitor did not answer: check the bridge of pins 5 and 9 and the power, then press Enter."
                 : "With the controller off, bridge pins 5 and 9, switch it on, then press Enter" + stop + ".";
  if (kind == PromptKind::Unbridge)
    return again ? "The boot monitor still answers: remove the bridge of pins 5 and 9, switch the controller off "
                   "and on, then press Enter."
                 : "With the controller off, remove the bridge of pins 5 and 9, switch it on, then press Enter" +
                       stop + ".";
  if (kind == PromptKind::InMonitor)
    return again ? "The controller is still in monitor mode: switch it off and on again, then press Enter."
                 : "Switch the controller off and on, then press Enter" + stop + ".";
  if (kind == PromptKind::PowerCycle)
    return "Switch the controller off and on; once its led blinks slowly, press Enter" + stop + ".";
  return {};
}

TerminalHost::TerminalHost(const CliOptions &options, const QDir &folder)
    : options_(options), folder_(folder), printer_(stdout, ::isatty(STDOUT_FILENO)) {
  port_.SetSettings(ControllerLineSettings);
  port_.SetTraceFile(options.TraceFile);
}

QString TerminalHost::PortName() { return PortChoiceName(options_.Port, port_.DeviceName()); }

QString TerminalHost::FinishWithBackup(const FinishOffer &offer) {
  if (options_.RestoreFrom.isEmpty()) return {};
  Show(offer.Said + "\rThe full upload goes on with the identification values of " +
           QDir::toNativeSeparators(QFileInfo(options_.RestoreFrom).absoluteFilePath()) + ".",
       stdout);
  return options_.RestoreFrom;
}

QString TerminalHost::FinishHint(const QString &valuesFrom) const {
  QString hint = "To finish it, run:\r  " + FinishCommand(QCoreApplication::arguments().value(0), options_, valuesFrom);
  if (valuesFrom.isEmpty()) hint += "\rwith a backup of this controller in place of BACKUP.txt.";
  return hint;
}

QString TerminalHost::RescueHint(const QString &backupPath) const {
  QString hint = "To finish it, run:\r  " + RescueCommand(QCoreApplication::arguments(), backupPath);
  if (options_.ProgramFile.isEmpty()) hint += "\rwith the program file in place of PROGRAM.s19.";
  if (backupPath.isEmpty()) hint += "\rwith a backup of this controller in place of BACKUP.txt.";
  return hint;
}

QString TerminalHost::PortOpenFailure(const QString &notStarted) {
  return PortChoiceFailure(options_.Port, port_, notStarted);
}

void TerminalHost::SetStep(Step step) {
  if (StopIfSignalled()) return;
  const QString caption = StepCaption(step);
  port_.TraceNote("STEP", caption);
  printer_.Caption(caption);
  where_ = caption;
}

void TerminalHost::SetProgressMin(int v) { progress_.SetMin(v); }
void TerminalHost::SetProgressMax(int v) { progress_.SetMax(v); }

void TerminalHost::SetProgressValue(int v) {
  if (StopIfSignalled()) return;
  progress_.SetValue(v);
  printer_.Show(progress_);
}

void TerminalHost::Wait(double seconds) {
  if (stopping_) return;
  ::Wait(seconds);
  StopIfSignalled();
}

// Lets go of the port, so that the step at hand ends at once with nothing
// more on the line; the driver then ends the upload and says why.
bool TerminalHost::StopIfSignalled() {
  if (stopping_) return true;
  const int signal = StopSignal();
  if (signal == 0) return false;
  stopping_ = true;
  port_.TraceNote("ANS", StopSignalName(signal));
  endingText_ = QStringLiteral("The upload was stopped by %1 during \"%2\".").arg(StopSignalName(signal), where_);
  port_.Stop();
  return true;
}

QString TerminalHost::HostEnding() const {
  if (stopping_) return QStringLiteral("cut short by %1 at \"%2\"").arg(StopSignalName(StopSignal()), where_);
  return QStringLiteral("interrupted at \"%1\"").arg(where_);
}

// Prompts and the success go to standard output; everything else the driver
// says is a refusal, a failure or an interruption and goes to standard error.
void TerminalHost::Message(const QString &text) { Show(text, stderr); }

// The seconds left, on one line of a terminal; in a log every ten seconds.
bool TerminalHost::WaitForPort(const QString &text, const QDeadlineTimer &deadline, const std::function<bool()> &back) {
  printer_.Break();
  port_.TraceNote("MSG", text);
  PrintLines(stderr, text + " Ctrl-C stops the upload.");
  const bool terminal = ::isatty(STDERR_FILENO);
  int told = -1;
  const bool came = PollUntil(deadline, back, [&](int left) {
    if (left != told && (terminal || left % 10 == 0)) {
      WriteText(stderr, QStringLiteral("%1%2 s left%3").arg(terminal ? "\r" : "").arg(left, 3).arg(terminal ? "" : "\n"));
      std::fflush(stderr);
    }
    told = left;
    return !StopIfSignalled();
  });
  if (terminal) WriteText(stderr, QStringLiteral("\n"));
  if (came) PrintLines(stderr, QStringLiteral("The port is back."));
  return came;
}

void TerminalHost::Uploaded(const QString &text) { Show(text, stdout); }

void TerminalHost::Show(const QString &text, std::FILE *out) {
  printer_.Break();
  lastMessage_ = text;
  port_.TraceNote("MSG", text);
  PrintLines(out, text);
}

PromptAnswer TerminalHost::Prompt(PromptKind kind, const QString &text, bool again) {
  if (kind == PromptKind::Repeat) {
    Message(text);
    return stopping_ ? PromptAnswer::Abort : PromptAnswer::Continue;
  }
  if (StopIfSignalled()) return PromptAnswer::Abort;
  Show(text, stdout);
  where_ = QString(text).replace('\r', ' ');
  const bool answered =
      options_.Actions.isEmpty() ? WaitForEnter(PromptGuidance(kind, again)) : RunAction(PromptAction(kind));
  return answered ? PromptAnswer::Continue : PromptAnswer::Abort;
}

bool TerminalHost::WaitForEnter(const QString &guidance) {
  WriteText(stdout, guidance + '\n');
  std::fflush(stdout);
  QByteArray line;
  const bool answered = ReadLineUnlessStopped(stdin, line);
  if (StopIfSignalled()) return false;
  if (!answered) return Ended("No answer to the prompt: the input has ended.");
  port_.TraceNote("ANS", QStringLiteral("Enter"));
  return true;
}

bool TerminalHost::Ended(const QString &why) {
  endingText_ = why;
  return false;
}

bool TerminalHost::RunAction(const QString &action) {
  QStringList command = QProcess::splitCommand(options_.Actions);
  const QString program = command.takeFirst();
  QProcess process;
  // The hook's own output belongs to the bench's log, not to ours.
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(program, command << action);
  const bool ran = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
  if (StopIfSignalled()) return false;
  const int status = ran ? process.exitCode() : -1;
  port_.TraceNote("ANS", QStringLiteral("%1: exit %2").arg(action).arg(status));
  if (ran && status == 0) return true;
  const QString why = ran ? QStringLiteral("exit status %1").arg(status) : process.errorString();
  return Ended(QStringLiteral("The action \"%1\" failed (%2).").arg(action, why));
}

PromptAnswer TerminalHost::ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &) {
  printer_.Break();
  ++restoreShowings_;
  if (options_.Restore == RestoreMode::Keep && restoreShowings_ > 3) {
    Ended("The identification windows were refused three times.");
    return PromptAnswer::Abort;
  }
  port_.TraceNote("MSG", QStringLiteral("Windows Updating"));
  where_ = QStringLiteral("Windows Updating");
  RestoreChoice choice = restoreValues_ ? RestoreChoice(rows, *restoreValues_) : RestoreChoice(rows);
  const QByteArray finishing = "Identification windows to write back, from " +
                               QDir::toNativeSeparators(finishingWith_).toLocal8Bit() + ":";
  const char *heading = restoreValues_ ? "Identification windows to write back, from the --restore-from file:"
                        : finishingWith_.isEmpty() ? "Identification windows saved at the start of the upload:"
                                                   : finishing.constData();
  if (!restoreValues_ && finishingWith_.isEmpty()) {
    const BlankVerdict blanks = JudgeBlanks(rows, KeptValuesIn(folder_));
    // Kept as read, a blank would go over the last value known of the window.
    if (options_.Restore == RestoreMode::Keep && (blanks.Erased || blanks.AnySuspect())) {
      Ended(ErasedBackupText(rows, blanks, folder_));
      return PromptAnswer::Abort;
    }
    choice.Kept = blanks.Suspect;
  }
  if (options_.Restore == RestoreMode::Ask) choice = AskRestore(stdin, stdout, choice, heading);
  else if (options_.Restore == RestoreMode::Keep && restoreValues_) ListRestore(stdout, choice, heading);
  else choice.Send = options_.Restore == RestoreMode::Keep;
  if (StopIfSignalled()) return PromptAnswer::Abort;
  port_.TraceNote("ANS", DescribeChoice(choice));
  std::fputs(choice.Send ? "Writing the identification windows back.\n" : "Identification windows not written.\n",
             stdout);
  std::fflush(stdout);
  if (choice.Send) write(choice.Values);
  return PromptAnswer::Continue;
}
