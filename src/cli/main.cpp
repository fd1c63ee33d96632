// calvenori-upload: the upload of the window program, from a terminal or a
// script. See --help, and "Command line" in the README.

#include "CliOptions.h"
#include "ConsoleText.h"
#include "ExamineCommands.h"
#include "FinishRun.h"
#include "Journal.h"
#include "KeptBackups.h"
#include "StopSignals.h"
#include "TerminalHost.h"
#include "Version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <unistd.h>

namespace {

int Refuse(const QString &problem) {
  WriteText(stderr, "calvenori-upload: " + problem + "\nTry 'calvenori-upload --help' for more information.\n");
  return ExitRefused;
}

bool TraceFileUsable(const QString &path, QString *error) {
  if (path.isEmpty()) return true;
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Append)) return true;
  *error = QStringLiteral("cannot write the trace file %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
  return false;
}

int History(const QString &file, const QDir &folder) {
  const QString path = JournalPathFor(folder, file);
  QString table, reason;
  int unreadable = 0;
  if (!JournalTable(path, table, &reason, &unreadable))
    return Refuse(QStringLiteral("cannot read the journal %1: %2").arg(QDir::toNativeSeparators(path), reason));
  WriteText(stdout, table);
  // On standard error: standard output holds the table and nothing else.
  if (unreadable > 0)
    WriteText(stderr, QStringLiteral("calvenori-upload: %1 %2 of the journal %3 could not be read (cut short by a "
                                     "crash, or changed by hand); the others are shown.\n")
                          .arg(QString::number(unreadable), unreadable == 1 ? "line" : "lines",
                               QDir::toNativeSeparators(path)));
  return ExitUploaded;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(AppVersion());
  CliOptions options;
  QString error;
  if (!ParseCliOptions(app.arguments().mid(1), options, &error)) return Refuse(error);
  // The backups, the journal and the lock live here; nothing below looks it up again.
  const QDir folder = options.Folder.isEmpty() ? QDir::current() : QDir(QDir::current().absoluteFilePath(options.Folder));
  if (!folder.exists())
    return Refuse(QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.absolutePath())));
  if (options.Help) {
    WriteText(stdout, CliHelpText());
    return ExitUploaded;
  }
  if (options.Version) {
    std::printf("calvenori-upload %s\n", qPrintable(AppVersion()));
    return ExitUploaded;
  }
  if (options.History) return History(options.JournalFile, folder);
  if (!options.Actions.isEmpty() && QProcess::splitCommand(options.Actions).isEmpty())
    return Refuse(QStringLiteral("--actions needs a command"));
  if (!TraceFileUsable(options.TraceFile, &error)) return Refuse(error);
  // Looking instead of uploading, and finding the port, come before the upload's own set-up.
  if (int status = 0; !ResolveAutoPort(options, &status)) return status;
  if (options.Identify) return IdentifyCommand(options, folder);
  if (options.Verify) return VerifyCommand(options, folder);
  if (!options.RestoreGiven) options.Restore = ::isatty(STDIN_FILENO) ? RestoreMode::Ask : RestoreMode::Keep;

  const Checked<BackupValues> restoreValues =
      options.RestoreFrom.isEmpty() ? Checked<BackupValues>{} : ReadBackupFile(options.RestoreFrom);
  if (!options.RestoreFrom.isEmpty() && !restoreValues) return Refuse(restoreValues.Why);
  if (options.Finish) return FinishUpload(options, folder);
  TerminalHost host(options, folder);
  if (restoreValues) host.SetRestoreValues(*restoreValues);
  CatchStopSignals();
  return ExitStatusOf(RunUpload(host, folder));
}
