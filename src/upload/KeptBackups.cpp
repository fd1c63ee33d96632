#include "KeptBackups.h"

#include "ReplyCollector.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <map>

namespace {

const QString BackupName = QStringLiteral("tmpLogWin.txt");
const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");

bool ReadWhole(const QString &path, QByteArray &content, QString *reason) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) content = file.readAll();
  if (file.error() == QFileDevice::NoError) return true;
  if (reason) *reason = file.errorString();
  return false;
}

// A line of a backup is its label, two tabs and the value.
bool HoldsReadFailure(const QByteArray &backup) {
  for (const QByteArray &line : backup.split('\n')) {
    const qsizetype tabs = line.indexOf("\t\t");
    if (tabs >= 0 && IsFailureText(line.mid(tabs + 2).chopped(line.endsWith('\r') ? 1 : 0))) return true;
  }
  return false;
}

bool WriteKept(const QString &path, const QByteArray &content, const QDateTime &modified, QString *reason) {
  QSaveFile kept(path);
  if (!kept.open(QIODevice::WriteOnly) || kept.write(content) != content.size() || !kept.commit()) {
    *reason = kept.errorString();
    return false;
  }
  // The copy carries the time of the values it holds, not of the copying.
  QFile stamped(path);
  if (stamped.open(QIODevice::ReadWrite)) stamped.setFileTime(modified, QFileDevice::FileModificationTime);
  return true;
}

}  // namespace

QString KeptBackupName(const QDateTime &modified, int n) {
  const QString suffix = n > 1 ? QStringLiteral("-%1").arg(n) : QString();
  return QStringLiteral("tmpLogWin-%1%2.txt").arg(modified.toString(StampFormat), suffix);
}

bool KeepEarlierBackup(const QDir &folder, const QByteArray &next, QString *error) {
  const QString current = folder.filePath(BackupName);
  const QFileInfo info(current);
  if (!info.isFile()) return true;  // nothing to keep; whatever else stands there fails the write itself
  const QDateTime modified = info.lastModified();
  QByteArray content;
  QString reason;
  bool ok = ReadWhole(current, content, &reason);
  if (ok && content == next) return true;
  // A name holding this content has kept it already; one holding other
  // content is left alone and the next number tried.
  int n = 1;
  QString path = folder.filePath(KeptBackupName(modified, n));
  for (; ok && QFileInfo(path).isFile(); path = folder.filePath(KeptBackupName(modified, ++n))) {
    QByteArray there;
    if (ReadWhole(path, there, nullptr) && there == content) return true;
    if (n == 100) {
      ok = false;
      reason = QStringLiteral("a hundred earlier backups of that second are there already");
    }
  }
  ok = ok && WriteKept(path, content, modified, &reason);
  if (!ok && error)
    *error = QStringLiteral("The earlier backup file %1 could not be kept as %2: %3")
                 .arg(QDir::toNativeSeparators(current), QDir::toNativeSeparators(path), reason);
  return ok;
}

std::optional<RescueBackup> RescueBackupIn(const QDir &folder) {
  QByteArray content;
  if (!ReadWhole(folder.filePath(BackupName), content, nullptr) || !HoldsReadFailure(content)) return std::nullopt;
  static const QRegularExpression kept(QStringLiteral("^tmpLogWin-(\\d{8}-\\d{6})(?:-(\\d+))?\\.txt$"));
  std::map<std::pair<QDateTime, int>, QString> newestLast;
  for (const QString &name : folder.entryList({"tmpLogWin-*.txt"}, QDir::Files)) {
    const QRegularExpressionMatch m = kept.match(name);
    const QDateTime saved = QDateTime::fromString(m.captured(1), StampFormat);
    if (m.hasMatch() && saved.isValid()) newestLast[{saved, qMax(1, m.captured(2).toInt())}] = name;
  }
  for (auto it = newestLast.rbegin(); it != newestLast.rend(); ++it) {
    const QString path = folder.filePath(it->second);
    if (ReadWhole(path, content, nullptr) && !HoldsReadFailure(content)) return RescueBackup{path, it->first.first};
  }
  return std::nullopt;
}

QString RescueBackupLine() {
  const std::optional<RescueBackup> rescue = RescueBackupIn(QDir::current());
  if (!rescue) return {};
  return QStringLiteral("The last values read from a controller are in %1, saved %2.")
      .arg(QDir::toNativeSeparators(rescue->Path), rescue->Saved.toString("yyyy-MM-dd HH:mm:ss"));
}
