#include "WorkingFolder.h"

#include "IdWindows.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

// A backup is nine short lines; a few blocks cover it, its kept copy and the
// lock file on any file system.
constexpr qint64 BackupRoomBytes = 16 * 1024;

QString ProbeCreate(const QDir &folder) {
  QFile probe(folder.filePath(QStringLiteral(".calvenori-folder-check")));
  if (!probe.open(QIODevice::WriteOnly) || probe.write("check\r\n") != 7 || !probe.flush()) {
    const QString reason = probe.errorString();
    probe.remove();
    return QStringLiteral("a file cannot be written there (%1)").arg(reason);
  }
  probe.close();
  if (!probe.remove()) return QStringLiteral("a file cannot be removed there (%1)").arg(probe.errorString());
  return {};
}

QString HolderOf(const QLockFile &lock) {
  qint64 pid = 0;
  QString host, program;
  if (!lock.getLockInfo(&pid, &host, &program)) return QStringLiteral("another upload is running there");
  return QStringLiteral("another upload is running there (%1, process %2 on %3)").arg(program).arg(pid).arg(host);
}

}  // namespace

QString FolderUnfitReason(const QDir &folder) {
  if (!folder.exists()) return QStringLiteral("it does not exist");
  const QString probe = ProbeCreate(folder);
  if (!probe.isEmpty()) return probe;
  const qint64 needed = BackupRoomBytes + QFileInfo(folder.filePath(QString::fromLatin1(BackupFileName))).size();
  const qint64 free = QStorageInfo(folder.absolutePath()).bytesAvailable();
  if (free >= 0 && free < needed)
    return QStringLiteral("only %1 bytes are free there, %2 are needed for the backup").arg(free).arg(needed);
  return {};
}

FolderClaim ClaimFolder(const QDir &folder) {
  const QString path = folder.filePath(QString::fromLatin1(BackupFileName) + ".lock");
  auto lock = std::make_unique<QLockFile>(path);
  // An upload takes as long as it takes: only a dead holder makes a lock stale.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) return {nullptr, HolderOf(*lock)};
  // Also when the lock file could not be made: the check says why in the system's words.
  const QString unfit = FolderUnfitReason(folder);
  if (!unfit.isEmpty()) return {nullptr, unfit};
  if (lock->isLocked()) return {std::move(lock), {}};
  return {nullptr, QStringLiteral("its lock file %1 cannot be made").arg(QDir::toNativeSeparators(path))};
}
