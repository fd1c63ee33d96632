#include "JournalCsv.h"

#include <algorithm>

namespace {

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

}  // namespace

QStringList FirstJournalRecord(const QByteArray &start) {
  const QString text = QString::fromUtf8(start);
  qsizetype at = 0;
  while (at < text.size() && IsLineEnd(text[at])) ++at;
  return at < text.size() ? ParseRecord(text, at, text.size()).Fields : QStringList();
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
    const RecordText r = ParseRecord(text, at, at + MaxJournalLineChars);
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
