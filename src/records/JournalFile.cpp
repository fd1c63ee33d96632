#include "JournalFile.h"

#include "JournalCsv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStorageInfo>

#include <algorithm>

bool ReadJournalRange(const QString &path, qint64 from, QByteArray &out, QString *reason) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly) && file.seek(from)) out = file.readAll();
  if (file.error() == QFileDevice::NoError) return true;
  *reason = file.errorString();
  return false;
}

QString NotAJournal() {
  return QStringLiteral("it is not an upload journal (its first line is not the journal's header)");
}

namespace {

// A line is a few hundred bytes; a journal that cannot take a few of them is
// refused before the controller is touched.
constexpr qint64 JournalRoomBytes = 4096;

// The first record of an existing journal, or empty when it holds none.
bool FirstRecord(const QString &path, QStringList &first, QString *reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *reason = file.errorString();
    return false;
  }
  first = FirstJournalRecord(file.read(MaxJournalLineChars));
  return true;
}

bool LockJournal(QLockFile &lock, const QString &path, int waitMs, QString *reason) {
  if (lock.tryLock(waitMs)) return true;
  const QString lockPath = QDir::toNativeSeparators(path + ".lock");
  *reason = lock.error() == QLockFile::LockFailedError
                ? QStringLiteral("another upload kept its lock file %1").arg(lockPath)
                : QStringLiteral("its lock file %1 cannot be made").arg(lockPath);
  return false;
}

// What goes before a line added at `size`: the whole journal is read only
// when its last line does not read whole by itself.
bool LineStartAt(const QString &path, qint64 size, QByteArray &start, QString *reason) {
  const qint64 from = std::max<qint64>(0, size - MaxJournalLineChars);
  QByteArray bytes;
  if (!ReadJournalRange(path, from, bytes, reason)) return false;
  if (LastLineWhole(bytes, from == 0)) {
    start.clear();
    return true;
  }
  if (from > 0 && !ReadJournalRange(path, 0, bytes, reason)) return false;
  start = FreshLineStart(bytes);
  return true;
}

// Appends `line` at `oldSize`, closes, then reads it back from the file.
bool WriteAndCheck(const QString &path, qint64 oldSize, const QByteArray &line, QString *reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite) || !file.seek(oldSize)) {
    *reason = file.errorString();
    return false;
  }
  const qint64 count = file.write(line);
  if (count != line.size() || !file.flush() || file.error() != QFileDevice::NoError) {
    *reason = file.error() != QFileDevice::NoError
                  ? file.errorString()
                  : QStringLiteral("only %1 of %2 bytes could be written").arg(count).arg(line.size());
    return false;
  }
  file.close();  // a network drive may report the failed write only here
  if (file.error() != QFileDevice::NoError) {
    *reason = file.errorString();
    return false;
  }
  QByteArray back;
  if (!ReadJournalRange(path, oldSize, back, reason)) return false;
  if (back == line) return true;
  *reason = QStringLiteral("%1 bytes were written but %2 read back").arg(line.size()).arg(back.size());
  return false;
}

}  // namespace

QString FileSha256(const QString &path) {
  QFile file(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
  return QString::fromLatin1(hash.result().toHex());
}

QString JournalPathFor(const QDir &folder, const QString &chosen) {
  return QDir::cleanPath(folder.absoluteFilePath(chosen.isEmpty() ? QString::fromLatin1(JournalFileName) : chosen));
}

namespace {

bool Usable(const QString &path, QString *reason, int lockWaitMs) {
  const QFileInfo info(path);
  if (info.exists() && !info.isFile()) {
    *reason = QStringLiteral("it is not a file");
    return false;
  }
  if (!info.dir().exists()) {
    *reason = QStringLiteral("its folder %1 does not exist").arg(QDir::toNativeSeparators(info.absolutePath()));
    return false;
  }
  // Under the journal's lock, as an append: an upload in another folder
  // sharing this journal may be creating it right now, and the probe below
  // must not remove what that one wrote. Taking the lock also proves that the
  // lock file every append needs can be made there.
  QLockFile lock(path + ".lock");
  if (!LockJournal(lock, path, lockWaitMs, reason)) return false;
  const bool exists = QFileInfo::exists(path);
  QStringList first;
  if (exists && !FirstRecord(path, first, reason)) return false;
  if (!first.isEmpty() && !IsJournalHeader(first)) {
    *reason = NotAJournal();
    return false;
  }
  // Append does not change what is there; a probe that was not there is removed.
  QFile probe(path);
  if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
    *reason = probe.errorString();
    return false;
  }
  probe.close();
  if (!exists) probe.remove();
  const qint64 free = QStorageInfo(info.absolutePath()).bytesAvailable();
  if (free >= 0 && free < JournalRoomBytes) {
    *reason = QStringLiteral("only %1 bytes are free there").arg(free);
    return false;
  }
  return true;
}

bool Append(const QString &path, const JournalEntry &entry, QString *reason) {
  // Held for the moment of the append only: a journal shared by several
  // folders is not covered by any one folder's upload lock.
  QLockFile lock(path + ".lock");
  if (!LockJournal(lock, path, JournalLockWaitMs, reason)) return false;
  const bool existed = QFileInfo::exists(path);
  QStringList first;
  if (existed && !FirstRecord(path, first, reason)) return false;
  if (!first.isEmpty() && !IsJournalHeader(first)) {
    *reason = NotAJournal();
    return false;
  }
  const qint64 oldSize = existed ? QFileInfo(path).size() : 0;
  QByteArray line = JournalRecord(JournalFields(entry));
  // A line cut by a crash is closed, so that it does not swallow this one.
  QByteArray start;
  if (oldSize > 0 && !LineStartAt(path, oldSize, start, reason)) return false;
  if (first.isEmpty()) start += CsvRecord(JournalHeader());
  line.prepend(start);
  if (WriteAndCheck(path, oldSize, line, reason)) return true;
  // Appended rather than rewritten and renamed: the journal only grows, can be
  // long, and may be open in a spreadsheet on a shared drive, where replacing
  // it fails. So a failed append is cut back off instead.
  if (!existed) QFile::remove(path);
  else QFile::resize(path, oldSize);
  return false;
}

}  // namespace

Verdict JournalUsable(const QString &path, int lockWaitMs) {
  QString reason;
  return Usable(path, &reason, lockWaitMs) ? Verdict{} : Verdict::Refused(reason);
}

Verdict AppendToJournal(const QString &path, const JournalEntry &entry) {
  QString reason;
  return Append(path, entry, &reason) ? Verdict{} : Verdict::Refused(reason);
}
