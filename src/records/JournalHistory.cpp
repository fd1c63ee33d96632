#include "JournalHistory.h"

#include "JournalCsv.h"
#include "JournalFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// A journal value on one line of a terminal table.
QString OnOneLine(QString value) {
  return value.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\r', u' ').replace(u'\n', u' ');
}

}  // namespace

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
  if (!ReadJournalRange(path, 0, csv, reason)) return false;
  const JournalContent content = ReadJournal(csv);
  if (!content.Header.isEmpty() && !IsJournalHeader(content.Header)) {
    *reason = NotAJournal();
    return false;
  }
  table = JournalTableText(content);
  if (unreadable) *unreadable = content.Unreadable;
  return true;
}
