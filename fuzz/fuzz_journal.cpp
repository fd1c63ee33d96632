// The journal reader against any file content (a journal is a file anyone can
// edit), and a line cut anywhere by a crash, against what the next upload
// adds after it.

#include "FuzzSupport.h"
#include "Journal.h"

#include <QFile>
#include <QTimeZone>

#include <algorithm>

namespace {

QStringList Values(const QStringList &record) {
  QStringList values;
  for (const QString &field : record) values << JournalValue(field);
  return values;
}

// Each line as many fields as the header, no more lines than the file has,
// and the same reading after a rewrite of what was read.
void CheckReading(const QByteArray &bytes) {
  const JournalContent content = ReadJournal(bytes);
  for (const QStringList &line : content.Lines) FUZZ_CHECK(line.size() == content.Header.size());
  const qsizetype physical = SplitLines(bytes).size();
  FUZZ_CHECK(content.Lines.size() + content.Unreadable + (content.Header.isEmpty() ? 0 : 1) <= physical);
  FUZZ_CHECK(!content.EndsInCutLine || content.Unreadable > 0);
  FUZZ_CHECK(JournalTableText(content).count(u'\n') == content.Lines.size() + 1);

  // What the strict reader takes whole, this one takes alike, each line's
  // values as the journal's writer had them.
  QList<QStringList> records;
  const bool ended = bytes.endsWith('\n') || bytes.endsWith('\r');
  if (ParseCsv(bytes, records, nullptr) && ended && bytes.size() <= 64 * 1024) {
    QList<QStringList> after;
    for (const QStringList &r : records.mid(1)) after << Values(r);
    const bool even = std::all_of(after.begin(), after.end(),
                                  [&](const QStringList &r) { return r.size() == records[0].size(); });
    if (even) FUZZ_CHECK(content.Header == records.value(0) && content.Lines == after && content.Unreadable == 0);
  }

  // One field alone writes an empty line, which holds no record: left out.
  if (content.Header.size() >= 2) {
    QByteArray rewritten = CsvRecord(content.Header);
    for (const QStringList &line : content.Lines) rewritten += JournalRecord(line);
    const JournalContent again = ReadJournal(rewritten);
    FUZZ_CHECK(again.Header == content.Header && again.Lines == content.Lines);
    FUZZ_CHECK(again.Unreadable == 0 && !again.EndsInCutLine);
  }

  // Whatever went before, the next line starts on a line of its own.
  const QByteArray start = FreshLineStart(bytes);
  FUZZ_CHECK(start.isEmpty() || start.endsWith("\r\n"));
  FUZZ_CHECK(!ReadJournal(bytes + start).EndsInCutLine);
}

// The input's bytes as a line's fields (split at 0x1F), line ends and all:
// written as the journal writes them, no field begins as a formula would, and
// the journal's reader gives back every field as it was.
void CheckRoundTrip(const QByteArray &bytes) {
  QStringList fields;
  for (const QByteArray &piece : bytes.split('\x1f')) fields << QString::fromUtf8(piece);
  fields = fields.mid(0, JournalHeader().size());
  while (fields.size() < JournalHeader().size()) fields << QString();
  const QByteArray line = JournalRecord(fields);
  QList<QStringList> stored;
  FUZZ_CHECK(ParseCsv(line, stored, nullptr) && stored.size() == 1 && stored[0].size() == fields.size());
  for (const QString &field : stored[0]) FUZZ_CHECK(field.isEmpty() || !QStringLiteral("=+-@\t\r").contains(field[0]));
  // The reader gives up on a line longer than any the tool writes.
  if (line.size() > 64 * 1024) return;
  const JournalContent read = ReadJournal(CsvRecord(JournalHeader()) + line);
  FUZZ_CHECK(read.Lines == QList<QStringList>{fields} && read.Unreadable == 0);
}

JournalEntry Written(const QString &outcome) {
  JournalEntry entry;
  entry.Started = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7), QTimeZone(3600));
  entry.Ended = entry.Started.addSecs(75);
  entry.Mode = QStringLiteral("parameter list");
  entry.PortNumber = 1;
  entry.ParameterList = QStringLiteral("/srv/Pumpe \"Nord\", Halle 3/liste.txt");
  entry.Outcome = outcome;
  return entry;
}

// A line with the input's bytes for fields (split at 0x1F), cut where the
// input says, after a whole one: the next upload's line is read whole after
// it, the cut one skipped alone. Its fields hold no line end, as the tool's
// own never do: past one, what a cut left of a quoted field could pass for a
// line of its own.
void CheckCutLine(const QByteArray &bytes) {
  QStringList fields;
  for (QByteArray piece : bytes.split('\x1f')) fields << QString::fromUtf8(piece.replace('\r', ' ').replace('\n', ' '));
  fields = fields.mid(0, JournalHeader().size());
  while (fields.size() < JournalHeader().size()) fields << QString();
  const QByteArray line = JournalRecord(fields);
  // Short of its CR LF at least: a line cut after its CR is whole.
  const qsizetype cut = 1 + (bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes[0]) * 7919 + bytes.size()) %
                                (line.size() - 2);
  const JournalEntry earlier = Written(QStringLiteral("uploaded")), next = Written(QStringLiteral("port not opened"));
  const QByteArray journal = CsvRecord(JournalHeader()) + CsvRecord(JournalFields(earlier)) + line.left(cut);
  const JournalContent before = ReadJournal(journal);
  FUZZ_CHECK(before.Lines == QList<QStringList>{JournalFields(earlier)});
  FUZZ_CHECK(before.Unreadable == 1 && before.EndsInCutLine);

  const QString path = WriteFuzzFile(journal, "journal.csv");
  FUZZ_CHECK(AppendToJournal(path, next).Ok);
  QFile file(path);
  FUZZ_CHECK(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  FUZZ_CHECK(written.startsWith(journal));
  const JournalContent after = ReadJournal(written);
  FUZZ_CHECK((after.Lines == QList<QStringList>{JournalFields(earlier), JournalFields(next)}));
  FUZZ_CHECK(after.Unreadable == 1 && !after.EndsInCutLine);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  CheckReading(bytes);
  CheckRoundTrip(bytes);
  CheckCutLine(bytes);
  return 0;
}
