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
// Far more than any line the tool writes: a "line" running on past it is one
// the reader gives up on, which also bounds what a mangled file costs to read.
constexpr qsizetype MaxLineChars = 64 * 1024;
// The widths the journal's header has had, oldest first: columns are only
// ever added at the end.
constexpr int JournalWidths[] = {19, 21};

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

bool IsLineEnd(QChar c) { return c == u'\r' || c == u'\n'; }

// Of a journal of ours, a line as wide as its header or as a later version
// writes; of any other file, as wide as its header.
bool IsWholeLine(qsizetype fieldCount, const QStringList &header) {
  return fieldCount == header.size() || (IsJournalHeader(header) && IsWholeJournalLine(fieldCount, header.size()));
}

// What a spreadsheet takes a field beginning with for a formula.
bool StartsFormula(QChar c) {
  return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// A field the journal writes with one apostrophe more than it holds:
// apostrophes, none or more, and then what starts a formula.
bool GetsApostrophe(const QString &field) {
  qsizetype i = 0;
  while (i < field.size() && field[i] == u'\'') ++i;
  return i < field.size() && StartsFormula(field[i]);
}

// One record of `text` read from `from`, the start of a line, going no
// further than `limit`.
struct RecordText {
  QStringList Fields;
  qsizetype End = 0;       // where the next line starts
  bool Ended = false;      // closed by a line end outside quotes
  bool OpenAtEnd = false;  // the text ended inside a quoted field
};

RecordText ParseRecord(const QString &text, qsizetype from, qsizetype limit) {
  RecordText r;
  QString field;
  bool quoted = false;
  const qsizetype stop = std::min(text.size(), limit);
  qsizetype i = from;
  for (; i < stop; ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c != u'"') field += c;
      else if (i + 1 < text.size() && text[i + 1] == u'"') field += text[++i];
      else quoted = false;
    } else if (c == u'"') {
      quoted = true;
    } else if (c == u',') {
      r.Fields << field;
      field.clear();
    } else if (IsLineEnd(c)) {
      r.Ended = true;
      break;
    } else {
      field += c;
    }
  }
  r.Fields << field;
  if (r.Ended) i += text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n' ? 2 : 1;
  r.End = i;
  r.OpenAtEnd = quoted && i >= text.size();
  return r;
}

qsizetype NextLineStart(const QString &text, qsizetype from) {
  qsizetype i = from;
  while (i < text.size() && !IsLineEnd(text[i])) ++i;
  if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n') ++i;
  return std::min(i + 1, text.size());
}

bool ReadRange(const QString &path, qint64 from, QByteArray &out, QString *reason) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly) && file.seek(from)) out = file.readAll();
  if (file.error() == QFileDevice::NoError) return true;
  *reason = file.errorString();
  return false;
}

// The first record of an existing journal, or empty when it holds none.
bool FirstRecord(const QString &path, QStringList &first, QString *reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *reason = file.errorString();
    return false;
  }
  const QString text = QString::fromUtf8(file.read(MaxLineChars));
  qsizetype at = 0;
  while (at < text.size() && IsLineEnd(text[at])) ++at;
  first = at < text.size() ? ParseRecord(text, at, text.size()).Fields : QStringList();
  return true;
}

QString NotOurs() { return QStringLiteral("it is not an upload journal (its first line is not the journal's header)"); }

bool LockJournal(QLockFile &lock, const QString &path, int waitMs, QString *reason) {
  if (lock.tryLock(waitMs)) return true;
  const QString lockPath = QDir::toNativeSeparators(path + ".lock");
  *reason = lock.error() == QLockFile::LockFailedError
                ? QStringLiteral("another upload kept its lock file %1").arg(lockPath)
                : QStringLiteral("its lock file %1 cannot be made").arg(lockPath);
  return false;
}

// Whether the last line of `tail` (the end of a journal; `fromStart`: all of
// it) reads whole on its own; when it does, a new line needs nothing before it.
bool LastLineWhole(const QByteArray &tail, bool fromStart) {
  if (!tail.endsWith('\n') && !tail.endsWith('\r')) return false;
  const QByteArray body = tail.left(tail.size() - (tail.endsWith("\r\n") ? 2 : 1));
  const qsizetype lineEnd = std::max(body.lastIndexOf('\n'), body.lastIndexOf('\r'));
  if (lineEnd < 0 && !fromStart) return false;
  const QString line = QString::fromUtf8(tail.mid(lineEnd + 1));
  const RecordText r = ParseRecord(line, 0, line.size());
  return r.Ended && r.End == line.size() && IsWholeJournalLine(r.Fields.size(), JournalWidths[0]);
}

// What goes before a line added at `size`: the whole journal is read only
// when its last line does not read whole by itself.
bool LineStartAt(const QString &path, qint64 size, QByteArray &start, QString *reason) {
  const qint64 from = std::max<qint64>(0, size - MaxLineChars);
  QByteArray bytes;
  if (!ReadRange(path, from, bytes, reason)) return false;
  if (LastLineWhole(bytes, from == 0)) {
    start.clear();
    return true;
  }
  if (from > 0 && !ReadRange(path, 0, bytes, reason)) return false;
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
  if (!ReadRange(path, oldSize, back, reason)) return false;
  if (back == line) return true;
  *reason = QStringLiteral("%1 bytes were written but %2 read back").arg(line.size()).arg(back.size());
  return false;
}

// A journal value on one line of a terminal table.
QString OnOneLine(QString value) {
  return value.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\r', u' ').replace(u'\n', u' ');
}

}  // namespace

QStringList JournalHeader() {
  return {"Started",        "Ended",          "Program",        "Version",
          "User",           "Host",           "Mode",           "Check Errors",
          "Port",           "Device",         "Controller P/N", "Controller S/N",
          "Parameter list", "Parameter list SHA-256", "Program file", "Program file SHA-256",
          "Outcome",        "Failures let pass", "Backup",   "Last stage completed",
          "Own backup"};
}

namespace {

QDateTime FromOffsetTime(const QString &text) { return QDateTime::fromString(text, Qt::ISODate); }

}  // namespace

bool IsJournalHeader(const QStringList &fields) {
  const QStringList current = JournalHeader();
  for (int width : JournalWidths)
    if (fields.size() == width && fields == current.mid(0, width)) return true;
  return false;
}

bool IsWholeJournalLine(qsizetype fieldCount, qsizetype headerWidth) {
  if (fieldCount == headerWidth) return true;
  for (int width : JournalWidths)
    if (fieldCount == width && width > headerWidth) return true;
  return false;
}

JournalEntry JournalEntryOf(const QStringList &header, const QStringList &fields) {
  // A line of a later version than its header holds the columns in this version's order.
  const QStringList titles = fields.size() > header.size() ? JournalHeader() : header;
  const auto at = [&](const char *title) { return fields.value(titles.indexOf(QString::fromLatin1(title))); };
  JournalEntry e;
  e.Started = FromOffsetTime(at("Started"));
  e.Ended = FromOffsetTime(at("Ended"));
  e.Program = at("Program");
  e.Version = at("Version");
  e.User = at("User");
  e.Host = at("Host");
  e.Mode = at("Mode");
  e.CheckErrors = at("Check Errors") != "off";
  e.PortNumber = at("Port").toInt();
  e.Device = at("Device");
  e.ControllerPartNumber = at("Controller P/N");
  e.ControllerSerialNumber = at("Controller S/N");
  e.ParameterList = at("Parameter list");
  e.ParameterListSha256 = at("Parameter list SHA-256");
  e.ProgramFile = at("Program file");
  e.ProgramFileSha256 = at("Program file SHA-256");
  e.Outcome = at("Outcome");
  e.FailuresLetPass = at("Failures let pass").toInt();
  e.Backup = at("Backup");
  e.LastStage = at("Last stage completed");
  e.OwnBackup = at("Own backup");
  return e;
}

QStringList JournalFields(const JournalEntry &e) {
  return {WithOffset(e.Started),      WithOffset(e.Ended),
          e.Program,                  e.Version,
          e.User,                     e.Host,
          e.Mode,                     e.CheckErrors ? "on" : "off",
          e.PortNumber > 0 ? QString::number(e.PortNumber) : QString(), e.Device,
          e.ControllerPartNumber,     e.ControllerSerialNumber,
          e.ParameterList,            e.ParameterListSha256,
          e.ProgramFile,              e.ProgramFileSha256,
          e.Outcome,                  QString::number(e.FailuresLetPass),
          e.Backup,                   e.LastStage,
          e.OwnBackup};
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
  for (qsizetype at = 0; at < text.size();) {
    if (IsLineEnd(text[at])) {  // an empty line holds no record
      ++at;
      continue;
    }
    const RecordText r = ParseRecord(text, at, text.size());
    if (r.OpenAtEnd) {
      if (error) *error = QStringLiteral("line %1: a quoted field is not closed").arg(text.left(at).count(u'\n') + 1);
      return false;
    }
    records << r.Fields;
    at = r.End;
  }
  return true;
}

QByteArray JournalRecord(const QStringList &fields) {
  QStringList written;
  for (const QString &f : fields) written << (GetsApostrophe(f) ? u'\'' + f : f);
  return CsvRecord(written);
}

QString JournalValue(const QString &field) {
  return field.startsWith(u'\'') && GetsApostrophe(field) ? field.mid(1) : field;
}

JournalContent ReadJournal(const QByteArray &csv) {
  const QString text = QString::fromUtf8(csv);
  JournalContent out;
  bool headerRead = false;
  // How far the reading of the last line skipped went: the lines it took in
  // are that line's own (a cut quoted field runs on over them), not more lost lines.
  qsizetype skippedTo = 0;
  for (qsizetype at = 0; at < text.size();) {
    if (IsLineEnd(text[at])) {
      ++at;
      continue;
    }
    const RecordText r = ParseRecord(text, at, at + MaxLineChars);
    if (!headerRead) {
      headerRead = true;
      out.Header = r.Fields;
      at = r.Ended ? r.End : NextLineStart(text, at);
    } else if (r.Ended && IsWholeLine(r.Fields.size(), out.Header)) {
      QStringList values;
      for (const QString &f : r.Fields) values << JournalValue(f);
      out.Lines << values;
      out.EndsInCutLine = false;
      skippedTo = r.End;  // a whole line here: the skipped one's open quote did not reach it
      at = r.End;
    } else {
      if (at >= skippedTo) {
        ++out.Unreadable;
        out.EndsInCutLine = !r.Ended && r.End >= text.size();
        out.CutLineFields = int(r.Fields.size());
        out.CutInQuotes = r.OpenAtEnd;
        skippedTo = r.End;
      }
      // Every following line start is tried: the next whole line may begin
      // inside what this one's open quote took in.
      at = NextLineStart(text, at);
    }
  }
  return out;
}

QByteArray FreshLineStart(const QByteArray &journal) {
  const JournalContent content = ReadJournal(journal);
  if (content.EndsInCutLine) {
    // Closed as it is, a line cut in its last field would read as a whole one.
    const QByteArray quote = content.CutInQuotes ? "\"" : "";
    return quote + (IsWholeLine(content.CutLineFields, content.Header) ? "," : "") + "\r\n";
  }
  const bool ended = journal.isEmpty() || journal.endsWith('\n') || journal.endsWith('\r');
  return ended ? QByteArray() : QByteArray("\r\n");
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

bool JournalUsable(const QString &path, QString *reason, int lockWaitMs) {
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
  if (!LockJournal(lock, path, JournalLockWaitMs, reason)) return false;
  const bool existed = QFileInfo::exists(path);
  QStringList first;
  if (existed && !FirstRecord(path, first, reason)) return false;
  if (!first.isEmpty() && !IsJournalHeader(first)) {
    *reason = NotOurs();
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

QString JournalTableText(const JournalContent &content) {
  // What a technician looks for; the checksums and times to the second are in the file.
  const QList<int> shown{0, 4, 6, 8, 10, 11, 12, 14, 16, 17};
  const QStringList header = JournalHeader();
  QList<QStringList> rows{{}};
  for (int c : shown) rows[0] << header[c];
  for (qsizetype r = content.Lines.size() - 1; r >= 0; --r) {
    QStringList row;
    for (int c : shown) {
      const QString value = OnOneLine(content.Lines[r].value(c));
      row << (c == 12 || c == 14 ? QFileInfo(value).fileName() : value);
    }
    rows << row;
  }
  QList<qsizetype> widths(shown.size(), 0);
  for (const QStringList &row : rows)
    for (int c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  QString table;
  for (const QStringList &row : rows) {
    QString line;
    for (int c = 0; c < row.size(); ++c) line += row[c].leftJustified(widths[c] + 2);
    while (line.endsWith(' ')) line.chop(1);
    table += line + '\n';
  }
  return table;
}

bool JournalTable(const QString &path, QString &table, QString *reason, int *unreadable) {
  QByteArray csv;
  if (!ReadRange(path, 0, csv, reason)) return false;
  const JournalContent content = ReadJournal(csv);
  if (!content.Header.isEmpty() && !IsJournalHeader(content.Header)) {
    *reason = NotOurs();
    return false;
  }
  table = JournalTableText(content);
  if (unreadable) *unreadable = content.Unreadable;
  return true;
}
