#include "UnfinishedUpload.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <array>

namespace {

using Identity = std::pair<QString, QString>;  // controller P/N, S/N

Identity IdentityOfLine(const JournalEntry &line) { return {line.ControllerPartNumber, line.ControllerSerialNumber}; }

bool Known(const Identity &identity) { return !identity.first.isEmpty() || !identity.second.isEmpty(); }

QString Canonical(const QString &path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// The folder an attempt worked in: where its own backup, or else its backup, is.
QString FolderOf(const JournalEntry &line) {
  const QString backup = !line.OwnBackup.isEmpty() ? line.OwnBackup : line.Backup.section(QStringLiteral("; "), 0, 0);
  if (backup.isEmpty()) return {};
  return Canonical(QFileInfo(QDir::fromNativeSeparators(backup)).absolutePath());
}

bool ReadAll(const QString &path, QByteArray &content) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  content = file.readAll();
  return file.error() == QFileDevice::NoError;
}

std::optional<UploadKind> KindOf(const QString &mode) {
  if (mode == "full") return UploadKind::Full;
  if (mode == "parameter list") return UploadKind::ParameterList;
  return std::nullopt;  // identify, verify
}

}  // namespace

bool SamePort(const QString &a, const QString &b) {
  if (a.isEmpty() || b.isEmpty()) return false;
  if (a.compare(b, Qt::CaseInsensitive) == 0) return true;
  return QFileInfo::exists(a) && Canonical(a) == Canonical(b);
}

std::optional<UnfinishedAttempt> AttemptOf(const JournalEntry &line) {
  const std::optional<UploadKind> kind = KindOf(line.Mode);
  if (!kind) return std::nullopt;
  UnfinishedAttempt attempt;
  attempt.Line = line;
  attempt.Kind = *kind;
  attempt.LastCompleted = StageNamed(line.LastStage);
  // A line older than the stage column says nothing of how far it got.
  if (line.LastStage.isEmpty() || attempt.LastCompleted)
    attempt.What = line.Outcome == "uploaded" ? Remains::Nothing : RemainsAfter(*kind, attempt.LastCompleted);
  attempt.OwnBackup = line.OwnBackup.isEmpty() ? QString() : QDir::fromNativeSeparators(line.OwnBackup);
  attempt.Identity = {line.ControllerPartNumber.toLatin1(), line.ControllerSerialNumber.toLatin1(), {}};
  QByteArray content;
  if (!attempt.OwnBackup.isEmpty() && ReadAll(attempt.OwnBackup, content)) {
    attempt.OwnBackupHoldsValues = ReadBackupFile(attempt.OwnBackup).Value.has_value();
    if (attempt.OwnBackupHoldsValues) attempt.Identity = IdentityOf(content);
  }
  return attempt;
}

std::optional<UnfinishedAttempt> NewestUnfinished(const QString &journalPath, const QDir &folder,
                                                  const QString &device) {
  QByteArray csv;
  if (!ReadAll(journalPath, csv)) return std::nullopt;
  const JournalContent content = ReadJournal(csv);
  if (!IsJournalHeader(content.Header)) return std::nullopt;
  const QString here = Canonical(folder.absolutePath());
  QSet<Identity> finished;
  bool laterUploadHere = false;  // a completed upload on this port and in this folder since
  for (qsizetype i = content.Lines.size() - 1; i >= 0; --i) {
    const JournalEntry line = JournalEntryOf(content.Header, content.Lines[i]);
    const std::optional<UnfinishedAttempt> attempt = AttemptOf(line);
    if (!attempt) continue;
    const bool ours = FolderOf(line) == here && SamePort(line.Device, device);
    if (attempt->What == Remains::Nothing) {
      finished.insert(IdentityOfLine(line));
      laterUploadHere = laterUploadHere || ours;
      continue;
    }
    if (!ours || !attempt->CanBeFinished()) continue;
    const Identity identity = IdentityOfLine(line);
    // A controller whose numbers were never read is taken as finished by
    // whatever upload completed on its bench since.
    if (Known(identity) ? finished.contains(identity) : laterUploadHere) continue;
    return attempt;
  }
  return std::nullopt;
}

Checked<QString> FinishFile(const QString &recorded, const QString &recordedSha256, const QString &chosen) {
  const QString path = chosen.isEmpty() ? recorded : chosen;
  if (!path.isEmpty() && (recordedSha256.isEmpty() || FileSha256(path) == recordedSha256)) return {path, {}};
  const QString shown = QDir::toNativeSeparators(path.isEmpty() ? recorded : path);
  if (!chosen.isEmpty())
    return Checked<QString>::Refused(
        QStringLiteral("%1 is not the file the upload began with: its SHA-256 is not %2.").arg(shown, recordedSha256));
  return Checked<QString>::Refused(
      QStringLiteral("%1, which the upload began with, is not there or has changed since (its SHA-256 was %2).")
          .arg(shown, recordedSha256));
}

bool FinishSendsProgram(const UnfinishedAttempt &attempt) {
  return attempt.Kind == UploadKind::Full && attempt.What == Remains::Program;
}

QString DescribeAttempt(const UnfinishedAttempt &attempt) {
  const QString kind = attempt.Kind == UploadKind::Full ? QStringLiteral("full upload") : QStringLiteral("parameter list upload");
  return QStringLiteral("the %1 of %2 on %3").arg(kind, attempt.Line.Started.toString("yyyy-MM-dd HH:mm:ss"),
                                                  attempt.Line.Device);
}

QString AttemptValuesText(const UnfinishedAttempt &attempt, const QString &valuesFrom) {
  const QString numbers = DescribeIdentity(attempt.Identity);
  if (valuesFrom.isEmpty()) return "The controller: " + numbers + ".";
  return "The identification values are those of " + QDir::toNativeSeparators(valuesFrom) + " (" + numbers +
         "): check them against the pump's label.";
}

namespace {

std::optional<FinishingBackup> Holding(const QString &path) {
  if (!ReadBackupFile(path)) return std::nullopt;
  QByteArray content;
  if (!ReadAll(path, content)) return std::nullopt;
  return FinishingBackup{path, QFileInfo(path).lastModified(), IdentityOf(content)};
}

// A journal older than the own backups: the newest full upload that wrote its
// backup (the erase comes right after it) and then did not end as uploaded.
std::optional<Identity> NewestUnfinishedFullUpload(const QString &journalPath) {
  QByteArray csv;
  if (!ReadAll(journalPath, csv)) return std::nullopt;
  const JournalContent content = ReadJournal(csv);
  if (!IsJournalHeader(content.Header)) return std::nullopt;
  for (qsizetype r = content.Lines.size() - 1; r >= 0; --r) {
    const JournalEntry line = JournalEntryOf(content.Header, content.Lines[r]);
    if (line.Mode != "full" || line.Backup.isEmpty()) continue;
    if (line.Outcome == "uploaded") return std::nullopt;  // that controller was finished
    return IdentityOfLine(line);
  }
  return std::nullopt;
}

}  // namespace

std::optional<FinishingBackup> BackupToFinishWith(const QDir &folder, const QString &journalPath,
                                                  const QString &device) {
  if (const std::optional<UnfinishedAttempt> attempt = NewestUnfinished(journalPath, folder, device);
      attempt && attempt->OwnBackupHoldsValues)
    return Holding(attempt->OwnBackup);
  const std::optional<Identity> unfinished = NewestUnfinishedFullUpload(journalPath);
  if (!unfinished || !Known(*unfinished)) return std::nullopt;
  std::optional<FinishingBackup> newest;
  const QStringList names = QStringList{QString::fromLatin1(BackupFileName)} + folder.entryList({"tmpLogWin-*.txt"}, QDir::Files);
  for (const QString &name : names) {
    const std::optional<FinishingBackup> backup = Holding(folder.absoluteFilePath(name));
    if (!backup || QString::fromLatin1(backup->Identity.ControllerPartNumber) != unfinished->first ||
        QString::fromLatin1(backup->Identity.ControllerSerialNumber) != unfinished->second)
      continue;
    if (!newest || backup->Saved > newest->Saved) newest = backup;
  }
  return newest;
}

QString DescribeFinishingBackup(const FinishingBackup &backup) {
  return QStringLiteral("%1, saved %2 (%3)")
      .arg(QDir::toNativeSeparators(backup.Path), backup.Saved.toString("yyyy-MM-dd HH:mm:ss"),
           DescribeIdentity(backup.Identity));
}
