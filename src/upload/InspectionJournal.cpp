#include "InspectionJournal.h"

#include "SerialPort.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QString CurrentUser() {
  for (const char *name : {"USER", "LOGNAME", "USERNAME"})
    if (const QString user = qEnvironmentVariable(name); !user.isEmpty()) return user;
#ifdef Q_OS_UNIX
  if (const passwd *entry = ::getpwuid(::geteuid())) return QString::fromLocal8Bit(entry->pw_name);
#endif
  return {};
}

QString ReadValue(const IdBackup *rows, int row) {
  if (!rows || (*rows)[row].ReadFailed) return {};
  return QString::fromLatin1((*rows)[row].Value);
}

}  // namespace

JournalEntry InspectionEntry(UploadHost &host, const InspectionNote &note) {
  JournalEntry entry;
  entry.Started = note.Started;
  entry.Ended = QDateTime::currentDateTime();
  entry.Program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  entry.Version = QCoreApplication::applicationVersion();
  entry.User = CurrentUser();
  entry.Host = QSysInfo::machineHostName();
  entry.Mode = note.Mode;
  entry.CheckErrors = host.CheckErrors();
  entry.PortNumber = host.ComPort();
  entry.Device = host.ComPortDevice().isEmpty() ? host.Port().DeviceName() : host.ComPortDevice();
  entry.ControllerPartNumber = ReadValue(note.Rows, 2);
  entry.ControllerSerialNumber = ReadValue(note.Rows, 6);
  if (note.ParameterListUsed) {
    entry.ParameterList = QDir::toNativeSeparators(QFileInfo(host.ParameterFile()).absoluteFilePath());
    entry.ParameterListSha256 = FileSha256(host.ParameterFile());
  }
  entry.Outcome = note.Outcome;
  return entry;
}
