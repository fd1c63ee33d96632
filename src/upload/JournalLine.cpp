#include "JournalLine.h"

#include "SerialPort.h"
#include "UploadHost.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

}  // namespace

QString JournalUserName() {
  for (const char *name : {"USER", "LOGNAME", "USERNAME"})
    if (const QString user = qEnvironmentVariable(name); !user.isEmpty()) return user;
#ifdef Q_OS_UNIX
  // A service or a container may set none of them.
  if (const passwd *entry = ::getpwuid(::geteuid())) return QString::fromLocal8Bit(entry->pw_name);
#endif
  return {};
}

namespace {

// Absolute, so that the line still names the file when read from elsewhere.
QString Shown(const QString &path) {
  return path.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

}  // namespace

JournalLine BeginJournalLine(UploadHost &host, const QDir &folder, UploadKind kind, const FinishRequest *finish) {
  JournalLine line;
  line.Path = JournalPathFor(folder, host.JournalFile());
  JournalEntry &entry = line.Entry;
  entry.Started = QDateTime::currentDateTime();
  entry.Program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  entry.Version = QCoreApplication::applicationVersion();
  entry.User = JournalUserName();
  entry.Host = QSysInfo::machineHostName();
  const bool full = kind == UploadKind::Full;
  entry.Mode = full ? QStringLiteral("full") : QStringLiteral("parameter list");
  entry.CheckErrors = host.CheckErrors();
  // The files as they are when the upload starts, before any of them is sent.
  entry.ParameterList = Shown(host.ParameterFile());
  entry.ParameterListSha256 = FileSha256(host.ParameterFile());
  if (full && !host.ProgramFile().isEmpty()) {
    entry.ProgramFile = Shown(host.ProgramFile());
    entry.ProgramFileSha256 = FileSha256(host.ProgramFile());
  } else if (full && finish) {
    // Not sent again by this finish, but by the next one should it stop in a way that needs it.
    entry.ProgramFile = finish->Attempt.Line.ProgramFile;
    entry.ProgramFileSha256 = finish->Attempt.Line.ProgramFileSha256;
  }
  return line;
}

JournalEntry FinishedEntry(const JournalLine &line, UploadHost &host, const LineEnding &ending) {
  JournalEntry entry = line.Entry;
  entry.Ended = QDateTime::currentDateTime();
  // A port given by its path has no number; the number given means the port.
  entry.PortNumber = host.PortGivenByPath() ? 0 : host.ComPort();
  // A device given by its path is the one meant, whether or not the port got as far as opening.
  entry.Device = host.ComPortDevice().isEmpty() ? host.Port().DeviceName() : host.ComPortDevice();
  entry.Outcome = ending.Outcome;
  entry.LastStage = ending.LastStage;
  // A finish that did not get as far as the port still stands for its attempt's controller.
  if (!ending.PortOpened && ending.OwnBackup.isEmpty()) return entry;
  // Read this time: with Check Errors on the backup stops at the first failed
  // window, and the ones after it hold whatever an earlier upload read.
  for (int r = 0; r < IdWindowCount; ++r) {
    if (ending.Rows[r].ReadFailed && entry.CheckErrors) break;
    if (ending.Rows[r].ReadFailed) continue;
    if (r == ControllerPartNumberRow) entry.ControllerPartNumber = QString::fromLatin1(ending.Rows[r].Value);
    if (r == ControllerSerialNumberRow) entry.ControllerSerialNumber = QString::fromLatin1(ending.Rows[r].Value);
  }
  entry.FailuresLetPass = entry.CheckErrors ? 0 : ending.Failures;
  QStringList backup;
  if (!ending.Backup.Written.isEmpty()) backup << QDir::toNativeSeparators(ending.Backup.Written);
  if (!ending.Backup.KeptAs.isEmpty()) backup << "earlier one kept as " + ending.Backup.KeptAs;
  if (!ending.ValuesFrom.isEmpty())
    backup << "identification values from " + QDir::toNativeSeparators(ending.ValuesFrom);
  entry.Backup = backup.join(QStringLiteral("; "));
  entry.OwnBackup = ending.OwnBackup.isEmpty() ? QString() : QDir::toNativeSeparators(ending.OwnBackup);
  return entry;
}
