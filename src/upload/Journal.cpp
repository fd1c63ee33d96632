#include "Journal.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStorageInfo>

#include <algorithm>


namespace {

// A line is a few hundred bytes; a journal that cannot take a few of them is
// refused before the controller is touched.
constexpr qint64 JournalRoomBytes = 4096;

QString WithOffset(const QDateTime &time) {
  if (!time.isValid()) return {};
  const int offset = time.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QStringLiteral("%1%2:%3")
             .arg(offset < 0 ? '-' : '+')
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

bool ReadRange(const QString &path, qint64 from, QByteArray &out, QString *reason) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly) && file.seek(from)) out = file.readAll();
  if (file.error() == QFileDevice::NoError) return true;
  *reason = file.errorString();
  return false;
}

// The first record of an existing journal, or empty for an empty file.
bool FirstRecord(const QString &path, QStringList &first, QString *reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *reason = file.errorString();
    return false;
  }
  QList<QStringList> records;
  ParseCsv(file.readLine(64 * 1024), records, nullptr);
  first = records.value(0);
  return true;
}

QString NotOurs() { return QStringLiteral("it is not an upload journal (its first line is not the journal's header)"); }

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
  if (!ReadRange(path, oldSize, back, reason)) return false;
  if (back == line) return true;
  *reason = QStringLiteral("%1 bytes were written but %2 read back").arg(line.size()).arg(back.size());
  return false;
}

}  // namespace

QStringList JournalHeader() {
  return {"Started",        "Ended",          "Program",        "Version",
          "User",           "Host",           "Mode",           "Check Errors",
          "Port",           "Device",         "Controller P/N", "Controller S/N",
          "Parameter list", "Parameter list SHA-256", "Program file", "Program file SHA-256",
          "Outcome",        "Failures let pass", "Backup"};
}

QStringList JournalFields(const JournalEntry &e) {
  return {WithOffset(e.Started),      WithOffset(e.Ended),
          e.Program,                  e.Version,
          e.User,                     e.Host,
          e.Mode,                     e.CheckErrors ? "on" : "off",
          QString::number(e.PortNumber), e.Device,
          e.ControllerPartNumber,     e.ControllerSerialNumber,
          e.ParameterList,            e.ParameterListSha256,
          e.ProgramFile,              e.ProgramFileSha256,
          e.Outcome,                  QString::number(e.FailuresLetPass),
          e.Backup};
}

QByteArray CsvRecord(const QStringList &fields) {
  QStringList quoted;
  for (QString f : fields) {
    if (f.contains(',') || f.contains('"') || f.contains('\r') || f.contains('\n'))
      f = '"' + f.replace('"', "\"\"") + '"';
    quoted << f;
  }
  return quoted.join(',').toUtf8() + "\r\n";
}

bool ParseCsv(const QByteArray &csv, QList<QStringList> &records, QString *error) {
  const QString text = QString::fromUtf8(csv);
  QStringList record;
  QString field;
  bool quoted = false, any = false;
  int line = 1, recordLine = 1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == '\n') ++line;
    if (quoted) {
      if (c != '"') field += c;
      else if (i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else quoted = false;
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      record << field;
      field.clear();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i, ++line;
      if (any || !field.isEmpty()) records << (record << field);
      record.clear();
      field.clear();
      any = false;
      recordLine = line;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted) {
    if (error) *error = QStringLiteral("line %1: a quoted field is not closed").arg(recordLine);
    return false;
  }
  if (any || !field.isEmpty()) records << (record << field);
  return true;
}

QString FileSha256(const QString &path) {
  QFile file(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
  return QString::fromLatin1(hash.result().toHex());
}

QString JournalPathFor(const QDir &folder, const QString &chosen) {
  return QDir::cleanPath(folder.absoluteFilePath(chosen.isEmpty() ? QString::fromLatin1(JournalFileName) : chosen));
}

bool JournalUsable(const QString &path, QString *reason) {
  const QFileInfo info(path);
  const bool exists = info.exists();
  if (exists && !info.isFile()) {
    *reason = QStringLiteral("it is not a file");
    return false;
  }
  if (!info.dir().exists()) {
    *reason = QStringLiteral("its folder %1 does not exist").arg(QDir::toNativeSeparators(info.absolutePath()));
    return false;
  }
  QStringList first;
  if (exists && !FirstRecord(path, first, reason)) return false;
  if (!first.isEmpty() && first != JournalHeader()) {
    *reason = NotOurs();
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

bool AppendToJournal(const QString &path, const JournalEntry &entry, QString *reason) {
  // Held for the moment of the append only: a journal shared by several
  // folders is not covered by any one folder's upload lock.
  QLockFile lock(path + ".lock");
  if (!lock.tryLock(10000)) {
    *reason = lock.error() == QLockFile::LockFailedError
                  ? QStringLiteral("another upload kept its lock file %1.lock").arg(QDir::toNativeSeparators(path))
                  : QStringLiteral("its lock file %1.lock cannot be made").arg(QDir::toNativeSeparators(path));
    return false;
  }
  const bool existed = QFileInfo::exists(path);
  QStringList first;
  if (existed && !FirstRecord(path, first, reason)) return false;
  if (!first.isEmpty() && first != JournalHeader()) {
    *reason = NotOurs();
    return false;
  }
  const qint64 oldSize = existed ? QFileInfo(path).size() : 0;
  QByteArray line = CsvRecord(JournalFields(entry));
  if (oldSize == 0) line.prepend(CsvRecord(JournalHeader()));
  // A line torn by a crash is closed, so that it does not swallow this one.
  QByteArray tail;
  if (oldSize >= 2 && ReadRange(path, oldSize - 2, tail, reason) && tail != "\r\n") line.prepend("\r\n");
  if (WriteAndCheck(path, oldSize, line, reason)) return true;
  // Appended rather than rewritten and renamed: the journal only grows, can be
  // long, and may be open in a spreadsheet on a shared drive, where replacing
  // it fails. So a failed append is cut back off instead.
  if (!existed) QFile::remove(path);
  else QFile::resize(path, oldSize);
  return false;
}

bool JournalTable(const QString &path, QString &table, QString *reason) {
  QByteArray csv;
  if (!ReadRange(path, 0, csv, reason)) return false;
  QList<QStringList> records;
  if (!ParseCsv(csv, records, reason)) return false;
  if (!records.isEmpty() && records.first() != JournalHeader()) {
    *reason = NotOurs();
    return false;
  }
  // What a technician looks for; the checksums and times to the second are in the file.
  const QList<int> shown{0, 4, 6, 8, 10, 11, 12, 14, 16, 17};
  const QStringList header = JournalHeader();
  QList<QStringList> rows{{}};
  for (int c : shown) rows[0] << header[c];
  for (qsizetype r = records.size() - 1; r >= 1; --r) {
    QStringList row;
    for (int c : shown) {
      const QString value = records[r].value(c);
      row << (c == 12 || c == 14 ? QFileInfo(value).fileName() : value);
    }
    rows << row;
  }
  QList<qsizetype> widths(shown.size(), 0);
  for (const QStringList &row : rows)
    for (int c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  table.clear();
  for (const QStringList &row : rows) {
    QString line;
    for (int c = 0; c < row.size(); ++c) line += row[c].leftJustified(widths[c] + 2);
    while (line.endsWith(' ')) line.chop(1);
    table += line + '\n';
  }
  return true;
}
