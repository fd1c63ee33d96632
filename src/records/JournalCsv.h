#pragma once
// The journal as CSV (RFC 4180, UTF-8, CR LF): records written and read, the
// escaping that keeps a spreadsheet from taking a field for a formula, and a
// tolerant reading in which a cut or mangled line costs that line alone.

#include "JournalColumns.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Far more than any line the tool writes: a "line" running on past it is one
// the reader gives up on, which also bounds what a mangled file costs to read.
constexpr qsizetype MaxJournalLineChars = 64 * 1024;

// One CSV record ending in CR LF; a field holding a comma, a quote or a line
// end is quoted, its quotes doubled.
QByteArray CsvRecord(const QStringList &fields);
// Every record of `csv` (UTF-8); false with the line and the reason for a
// field whose quotes are not closed.
bool ParseCsv(const QByteArray &csv, QList<QStringList> &records, QString *error);

// A journal line as it goes into the file. The journal is opened in
// spreadsheets, which take a field beginning with = + - @ a tab or a CR for a
// formula: such a field gets an apostrophe before it, which makes it text. So
// that every value reads back as it was, one already beginning with
// apostrophes and then one of those gets one more.
QByteArray JournalRecord(const QStringList &fields);
// A field of a journal line as it was before JournalRecord wrote it: one
// apostrophe less when it is apostrophes and then one of those characters,
// otherwise as it is (as in journals written before the apostrophe).
QString JournalValue(const QString &field);

// What a journal's bytes hold. A line cut short by a crash, or mangled in an
// editor, costs that line alone: the reader goes on at the next line that
// reads whole.
struct JournalContent {
  QStringList Header;          // the first line's fields; empty for an empty file
  QList<QStringList> Lines;    // every whole line after it, each as many fields as the header, as JournalValue gives them
  int Unreadable = 0;          // lines skipped
  // The journal ends inside its last line, as a crash leaves it: the fields
  // that line has so far, and whether it stops inside a quoted field.
  bool EndsInCutLine = false;
  int CutLineFields = 0;
  bool CutInQuotes = false;
};
JournalContent ReadJournal(const QByteArray &csv);

// What has to go before a line added to `journal` so that it starts a line of
// its own and a cut line stays unreadable: nothing, a line end, or what
// closes the cut line first (a quote, and a field too many when it would
// otherwise count as whole).
QByteArray FreshLineStart(const QByteArray &journal);

// The first record of a journal's first bytes; empty when they hold none.
QStringList FirstJournalRecord(const QByteArray &start);
// Whether the last line of `tail` (the end of a journal; `fromStart`: all of
// it) reads whole on its own; when it does, a new line needs nothing before it.
bool LastLineWhole(const QByteArray &tail, bool fromStart);
