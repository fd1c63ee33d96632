#include "UnfinishedUpload.h"

#include "Journal.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace {

struct UnfinishedLine {
  QString PartNumber, SerialNumber;
};

// The journal's newest full upload that wrote its backup (the erase comes
// right after it) and then did not end as uploaded.
std::optional<UnfinishedLine> NewestUnfinished(const QString &journalPath) {
  QFile file(journalPath);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  // Read as --history reads it: the values as they were, a cut line skipped.
  const JournalContent content = ReadJournal(file.readAll());
  const QStringList header = JournalHeader();
  if (content.Header != header) return std::nullopt;
  const auto column = [&header](const char *title) { return header.indexOf(QString::fromLatin1(title)); };
  for (qsizetype r = content.Lines.size() - 1; r >= 0; --r) {
    const QStringList &line = content.Lines[r];
    if (line.value(column("Mode")) != "full" || line.value(column("Backup")).isEmpty()) continue;
    if (line.value(column("Outcome")) == "uploaded") return std::nullopt;  // that controller was finished
    return UnfinishedLine{line.value(column("Controller P/N")), line.value(column("Controller S/N"))};
  }
  return std::nullopt;
}

std::optional<FinishingBackup> Holding(const QString &path) {
  std::array<QByteArray, IdWindowCount> values;
  QString error;
  if (!ReadBackupValues(path, values, &error)) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return FinishingBackup{path, QFileInfo(path).lastModified(), IdentityOf(file.readAll())};
}

}  // namespace

std::optional<FinishingBackup> BackupToFinishWith(const QDir &folder, const QString &journalPath) {
  const std::optional<UnfinishedLine> unfinished = NewestUnfinished(journalPath);
  if (!unfinished || (unfinished->PartNumber.isEmpty() && unfinished->SerialNumber.isEmpty())) return std::nullopt;
  std::optional<FinishingBackup> newest;
  const QStringList names = QStringList{QString::fromLatin1(BackupFileName)} + folder.entryList({"tmpLogWin-*.txt"}, QDir::Files);
  for (const QString &name : names) {
    const std::optional<FinishingBackup> backup = Holding(folder.absoluteFilePath(name));
    if (!backup || QString::fromLatin1(backup->Identity.ControllerPartNumber) != unfinished->PartNumber ||
        QString::fromLatin1(backup->Identity.ControllerSerialNumber) != unfinished->SerialNumber)
      continue;
    if (!newest || backup->Saved > newest->Saved) newest = backup;
  }
  return newest;
}

QString BackupForFinishing(const QDir &folder) {
  const QString written = folder.absoluteFilePath(QString::fromLatin1(BackupFileName));
  if (Holding(written)) return written;
  const std::optional<RescueBackup> kept = RescueBackupIn(folder);
  return kept ? QFileInfo(kept->Path).absoluteFilePath() : QString();
}

QString DescribeFinishingBackup(const FinishingBackup &backup) {
  return QStringLiteral("%1, saved %2 (%3)")
      .arg(QDir::toNativeSeparators(backup.Path), backup.Saved.toString("yyyy-MM-dd HH:mm:ss"),
           DescribeIdentity(backup.Identity));
}
