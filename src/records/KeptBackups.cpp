#include "KeptBackups.h"

#include "WindowReply.h"
#include "IdWindows.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace {

const QString BackupName = QString::fromLatin1(BackupFileName);
const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");

bool ReadWhole(const QString &path, QByteArray &content, QString *reason) { return ReadWholeFile(path, content, reason); }

bool WriteKept(const QString &path, const QByteArray &content, const QDateTime &modified, QString *reason) {
  if (!WriteFileChecked(path, content, reason)) return false;
  // The copy carries the time of the values it holds, not of the copying.
  QFile stamped(path);
  if (stamped.open(QIODevice::ReadWrite)) stamped.setFileTime(modified, QFileDevice::FileModificationTime);
  return true;
}

struct KeptFile {
  QString Path;
  QDateTime Saved;
};

// The kept backups of `folder` by the time in their names, newest first; the
// n-th of one second after the (n-1)-th.
std::vector<KeptFile> KeptNewestFirst(const QDir &folder) {
  static const QRegularExpression kept(QStringLiteral("^tmpLogWin-(\\d{8}-\\d{6})(?:-(\\d+))?\\.txt$"));
  std::map<std::pair<QDateTime, int>, QString> newestLast;
  for (const QString &name : folder.entryList({"tmpLogWin-*.txt"}, QDir::Files)) {
    const QRegularExpressionMatch m = kept.match(name);
    const QDateTime saved = QDateTime::fromString(m.captured(1), StampFormat);
    if (m.hasMatch() && saved.isValid()) newestLast[{saved, qMax(1, m.captured(2).toInt())}] = name;
  }
  std::vector<KeptFile> files;
  for (auto it = newestLast.rbegin(); it != newestLast.rend(); ++it)
    files.push_back({folder.filePath(it->second), it->first.first});
  return files;
}

// No `windows`: the backup holds the last values of every window.
QString RescueLine(const RescueBackup &rescue, const QStringList &windows = {}) {
  QString which;
  if (!windows.isEmpty()) which = (windows.size() == 1 ? " for window " : " for windows ") + windows.join(", ");
  return QStringLiteral("The last values read from a controller%1 are in %2, saved %3 (%4): check them against the "
                        "pump's label.")
      .arg(which, QDir::toNativeSeparators(rescue.Path), rescue.Saved.toString("yyyy-MM-dd HH:mm:ss"),
           DescribeIdentity(rescue.Identity));
}

}  // namespace

bool WriteFileChecked(const QString &path, const QByteArray &content, QString *reason) {
  QSaveFile file(path);
  // commit() flushes too, but reports success when that flush fails for lack
  // of space, and the empty file then replaces the good one: flush first.
  const bool aside = file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush() &&
                     file.error() == QFileDevice::NoError;
  if (!aside || !file.commit() || file.error() != QFileDevice::NoError) {
    if (reason) *reason = file.errorString();
    if (!aside) file.cancelWriting();
    return false;
  }
  QByteArray written;
  if (!ReadWhole(path, written, reason)) return false;
  if (written == content) return true;
  if (reason)
    *reason = QStringLiteral("%1 bytes were written but %2 read back").arg(content.size()).arg(written.size());
  return false;
}






QString OwnBackupName(const QByteArray &serialNumber, const QDateTime &when, int n) {
  QString serial;
  for (const char c : serialNumber.trimmed()) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    serial += plain ? QChar(c) : QChar('_');
  }
  // A failure text or nothing is no serial number.
  if (serial.isEmpty() || IsFailureText(serialNumber) || IsBlankValue(serialNumber)) serial = QStringLiteral("unknown");
  const QString suffix = n > 1 ? QStringLiteral("-%1").arg(n) : QString();
  return QStringLiteral("backup-%1-%2%3.txt").arg(serial, when.toString(StampFormat), suffix);
}

QString FreeOwnBackupPath(const QDir &folder, const QByteArray &serialNumber, const QDateTime &when) {
  int n = 1;
  QString path = folder.absoluteFilePath(OwnBackupName(serialNumber, when, n));
  while (QFileInfo::exists(path)) path = folder.absoluteFilePath(OwnBackupName(serialNumber, when, ++n));
  return path;
}

QString KeptBackupName(const QDateTime &modified, int n) {
  const QString suffix = n > 1 ? QStringLiteral("-%1").arg(n) : QString();
  return QStringLiteral("tmpLogWin-%1%2.txt").arg(modified.toString(StampFormat), suffix);
}

bool KeepEarlierBackup(const QDir &folder, const QByteArray &next, QString *error, QString *keptAs) {
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
  if (ok && keptAs) *keptAs = QFileInfo(path).fileName();
  if (!ok && error)
    *error = QStringLiteral("The earlier backup file %1 could not be kept as %2: %3")
                 .arg(QDir::toNativeSeparators(current), QDir::toNativeSeparators(path), reason);
  return ok;
}

std::optional<RescueBackup> RescueBackupIn(const QDir &folder) {
  QByteArray content;
  if (!ReadWhole(folder.filePath(BackupName), content, nullptr) || !HoldsNoValues(content)) return std::nullopt;
  for (const KeptFile &kept : KeptNewestFirst(folder))
    if (ReadWhole(kept.Path, content, nullptr) && !HoldsNoValues(content))
      return RescueBackup{kept.Path, kept.Saved, IdentityOf(content)};
  return std::nullopt;
}

QString RescueBackupLine(const QDir &folder) {
  const std::optional<RescueBackup> rescue = RescueBackupIn(folder);
  return rescue ? RescueLine(*rescue) : QString();
}

KeptValues KeptValuesIn(const QDir &folder) {
  KeptValues found;
  for (const KeptFile &kept : KeptNewestFirst(folder)) {
    if (std::all_of(found.begin(), found.end(), [](const auto &value) { return value.has_value(); })) break;
    QByteArray content;
    if (!ReadWhole(kept.Path, content, nullptr)) continue;
    for (int row = 0; row < IdWindowCount; ++row) {
      const QByteArray value = BackupValue(content, row);
      if (found[row] || IsBlankValue(value) || IsFailureText(value)) continue;
      found[row] = KeptValue{value, RescueBackup{kept.Path, kept.Saved, IdentityOf(content)}};
    }
  }
  return found;
}

QString KeptValuesLines(const KeptValues &kept) {
  // Newest first, as the files were searched; windows in table order.
  std::map<std::pair<QDateTime, QString>, std::pair<RescueBackup, QStringList>, std::greater<>> byFile;
  for (int row = 0; row < IdWindowCount; ++row) {
    if (!kept[row]) continue;
    const RescueBackup &from = kept[row]->From;
    auto &entry = byFile[{from.Saved, from.Path}];
    entry.first = from;
    entry.second << QString::number(BlankBackup()[row].Win);
  }
  QStringList lines;
  for (const auto &[key, entry] : byFile) lines << RescueLine(entry.first, entry.second);
  return lines.join('\r');
}

bool BackupLooksErased(const IdBackup &rows) {
  bool anyRead = false;
  for (const IdWindow &row : rows) {
    if (row.ReadFailed) continue;
    if (!IsBlankValue(row.Value)) return false;
    anyRead = true;
  }
  return anyRead;
}

BlankVerdict JudgeBlanks(const IdBackup &rows, const KeptValues &kept) {
  BlankVerdict verdict;
  verdict.Erased = BackupLooksErased(rows);
  for (int r = 0; r < IdWindowCount; ++r)
    if (!rows[r].ReadFailed && IsBlankValue(rows[r].Value)) verdict.Suspect[r] = kept[r];
  return verdict;
}

bool BlankVerdict::AnySuspect() const { return !SuspectWindows().isEmpty(); }

QList<int> BlankVerdict::SuspectWindows() const {
  const IdBackup table = BlankBackup();
  QList<int> windows;
  for (int r = 0; r < IdWindowCount; ++r)
    if (Suspect[r]) windows << table[r].Win;
  return windows;
}
