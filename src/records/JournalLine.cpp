#include "JournalLine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

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
QString AbsoluteShown(const QString &path) {
  return path.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// What a window holds, unless its read failed.
QString ValueOf(const OperationFacts &facts, int row) {
  if (!facts.RowsKnown || facts.Rows[row].ReadFailed) return {};
  return QString::fromLatin1(facts.Rows[row].Value);
}

}  // namespace

JournalEntry JournalEntryFor(const OperationFacts &facts) {
  JournalEntry entry;
  entry.Started = facts.Started;
  entry.Ended = QDateTime::currentDateTime();
  entry.Program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  entry.Version = QCoreApplication::applicationVersion();
  entry.User = JournalUserName();
  entry.Host = QSysInfo::machineHostName();
  entry.Mode = facts.Mode;
  entry.CheckErrors = facts.CheckErrors;
  entry.PortNumber = facts.PortNumber;
  entry.Device = facts.Device;
  entry.ControllerPartNumber = ValueOf(facts, ControllerPartNumberRow);
  entry.ControllerSerialNumber = ValueOf(facts, ControllerSerialNumberRow);
  entry.ParameterList = AbsoluteShown(facts.ParameterList);
  entry.ParameterListSha256 = facts.ParameterListSha256;
  entry.ProgramFile = AbsoluteShown(facts.ProgramFile);
  entry.ProgramFileSha256 = facts.ProgramFileSha256;
  entry.Outcome = facts.Outcome;
  entry.FailuresLetPass = facts.CheckErrors ? 0 : facts.Failures;
  QStringList backup;
  if (!facts.Backup.Written.isEmpty()) backup << QDir::toNativeSeparators(facts.Backup.Written);
  if (!facts.Backup.KeptAs.isEmpty()) backup << "earlier one kept as " + facts.Backup.KeptAs;
  if (!facts.ValuesFrom.isEmpty()) backup << "identification values from " + QDir::toNativeSeparators(facts.ValuesFrom);
  entry.Backup = backup.join(QStringLiteral("; "));
  entry.LastStage = facts.LastStage;
  entry.ExchangesRepeated = facts.ExchangesRepeated;
  entry.RecordsSentAgain = facts.RecordsSentAgain;
  entry.OwnBackup = facts.OwnBackup.isEmpty() ? QString() : QDir::toNativeSeparators(facts.OwnBackup);
  return entry;
}
