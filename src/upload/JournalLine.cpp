#include "JournalLine.h"

#include "SerialPort.h"
#include "UploadDriver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include <exception>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

const QString BackupName = QStringLiteral("tmpLogWin.txt");

QString UserName() {
  for (const char *name : {"USER", "LOGNAME", "USERNAME"})
    if (const QString user = qEnvironmentVariable(name); !user.isEmpty()) return user;
#ifdef Q_OS_UNIX
  // A service or a container may set none of them.
  if (const passwd *entry = ::getpwuid(::geteuid())) return QString::fromLocal8Bit(entry->pw_name);
#endif
  return {};
}

// Absolute, so that the line still names the file when read from elsewhere.
QString Shown(const QString &path) {
  return path.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QDateTime ModifiedOrNull(const QString &path) {
  const QFileInfo info(path);
  return info.isFile() ? info.lastModified() : QDateTime();
}

}  // namespace

JournalLine::JournalLine(UploadHost &host) : host_(host) {
  const QDir folder = QDir::current();
  path_ = JournalPathFor(folder, host.JournalFile());
  entry_.Started = QDateTime::currentDateTime();
  entry_.Program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  entry_.Version = QCoreApplication::applicationVersion();
  entry_.User = UserName();
  entry_.Host = QSysInfo::machineHostName();
  const bool full = host.UploadMode() == UploadKind::Full;
  entry_.Mode = full ? QStringLiteral("full") : QStringLiteral("parameter list");
  entry_.CheckErrors = host.CheckErrors();
  // The files as they are when the upload starts, before any of them is sent.
  entry_.ParameterList = Shown(host.ParameterFile());
  entry_.ParameterListSha256 = FileSha256(host.ParameterFile());
  if (full) {
    entry_.ProgramFile = Shown(host.ProgramFile());
    entry_.ProgramFileSha256 = FileSha256(host.ProgramFile());
  }
  backupModified_ = ModifiedOrNull(folder.filePath(BackupName));
  keptBefore_ = folder.entryList({"tmpLogWin-*.txt"}, QDir::Files);
}

bool JournalLine::Usable() {
  QString reason;
  if (JournalUsable(path_, &reason)) return true;
  unusable_ = true;
  host_.Message(QStringLiteral("The upload journal %1 cannot take a line: %2.")
                    .arg(QDir::toNativeSeparators(path_), reason) +
                "\rThe upload has not been started.");
  return false;
}

void JournalLine::Complete() {
  entry_.Ended = QDateTime::currentDateTime();
  entry_.PortNumber = host_.ComPort();
  // A device given by its path is the one meant, whether or not the port got as far as opening.
  entry_.Device = host_.ComPortDevice().isEmpty() ? host_.Port().DeviceName() : host_.ComPortDevice();
  entry_.Outcome = endedByHost_ ? host_.HostEnding() : !ending_.isEmpty() ? ending_ : ResultWords(result_);
  if (!started_) return;
  // Read this time: with Check Errors on the backup stops at the first failed
  // window, and the ones after it hold whatever an earlier upload read.
  for (int r = 0; r < IdWindowCount; ++r) {
    if (rows_[r].ReadFailed && entry_.CheckErrors) break;
    if (rows_[r].ReadFailed) continue;
    if (r == 2) entry_.ControllerPartNumber = QString::fromLatin1(rows_[r].Value);
    if (r == 6) entry_.ControllerSerialNumber = QString::fromLatin1(rows_[r].Value);
  }
  entry_.FailuresLetPass = entry_.CheckErrors ? 0 : failures_;
  const QDir folder = QDir::current();
  const QDateTime modified = ModifiedOrNull(folder.filePath(BackupName));
  QStringList backup;
  if (modified.isValid() && modified != backupModified_)
    backup << QDir::toNativeSeparators(folder.absoluteFilePath(BackupName));
  for (const QString &kept : folder.entryList({"tmpLogWin-*.txt"}, QDir::Files))
    if (!keptBefore_.contains(kept)) backup << "earlier one kept as " + kept;
  entry_.Backup = backup.join(QStringLiteral("; "));
}

JournalLine::~JournalLine() {
  if (unusable_) return;
  Complete();
  QString reason;
  // A refusal before the port has said what is wrong with the folder already.
  if (AppendToJournal(path_, entry_, &reason) || !opening_) return;
  host_.Message(QStringLiteral("The upload journal %1 could not be written: %2.\rThis upload has no line in it.")
                    .arg(QDir::toNativeSeparators(path_), reason));
}
