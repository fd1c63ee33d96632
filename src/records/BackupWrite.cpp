#include "BackupWrite.h"

#include "BackupFile.h"
#include "KeptBackups.h"

#include <QDateTime>

QString ParameterLogPath(const QDir &folder) { return folder.absoluteFilePath(QString::fromLatin1(BackupFileName)); }

namespace {

QString NotWritten(const QString &path, const QString &reason) {
  return QStringLiteral("The backup file %1 could not be written: %2").arg(QDir::toNativeSeparators(path), reason);
}

bool WriteOwnCopy(const QDir &folder, const IdBackup &rows, const QByteArray &text, BackupWritten &out) {
  const QString path = FreeOwnBackupPath(folder, rows[ControllerSerialNumberRow].Value, QDateTime::currentDateTime());
  QString reason;
  if (!WriteFileChecked(path, text, &reason)) {
    out.Error = NotWritten(path, reason);
    return false;
  }
  out.Files.Own = path;
  return true;
}

}  // namespace

BackupWritten WriteParameterLog(const QDir &folder, const IdBackup &rows, OwnCopy own) {
  BackupWritten out;
  const QByteArray text = BackupText(rows);
  // A controller that no longer answers would otherwise replace the last
  // values read from one with failure texts.
  if (!KeepEarlierBackup(folder, text, &out.Error, &out.Files.KeptAs)) return out;
  // Written aside and renamed into place, so an earlier backup is never lost
  // to a half-written one.
  QString reason;
  const QString path = ParameterLogPath(folder);
  if (!WriteFileChecked(path, text, &reason)) {
    out.Error = NotWritten(path, reason);
    return out;
  }
  out.Files.Written = path;
  out.Written = own == OwnCopy::None || WriteOwnCopy(folder, rows, text, out);
  return out;
}
