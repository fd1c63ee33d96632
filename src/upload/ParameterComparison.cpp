#include "ParameterComparison.h"

#include "TextChars.h"

#include <QStringList>

bool RecordComparison::Equal() const {
  if (Read.size() != Expected.size()) return false;
  for (qsizetype i = 0; i < Expected.size(); ++i)
    if (Read[i] != Expected[i]) return false;
  return true;
}

ComparisonCounts ParameterComparison::Counts() const {
  ComparisonCounts counts;
  for (const RecordComparison &record : Records) {
    if (!record.Compared()) {
      ++counts.NotCompared;
      continue;
    }
    ++counts.Compared;
    ++(record.Equal() ? counts.Equal : counts.Different);
  }
  return counts;
}

QString ReadBackValueText(const QList<int> &bytes) {
  quint32 value = 0;
  for (int byte : bytes) {
    if (byte < 0) return {};
    value = (value << 8) | quint32(byte);
  }
  if (bytes.size() == 4) return QString::number(qint32(value));
  return QString::number(value);
}

namespace {

QString BytesShown(const QList<int> &bytes, const QList<QByteArray> &replies) {
  QStringList shown;
  for (qsizetype i = 0; i < bytes.size(); ++i) shown << ReplySeen(replies.value(i), bytes[i]);
  const QString value = ReadBackValueText(bytes);
  return shown.join(' ') + (value.isEmpty() ? QString() : " (" + value + ")");
}

}  // namespace

QString DifferenceText(const RecordComparison &record) {
  QList<int> expected;
  for (quint8 byte : record.Expected) expected << byte;
  QList<int> read = record.Read;
  while (read.size() < expected.size()) read << -1;  // the read-back ended early
  return QStringLiteral("Line %1, \"%2\" (Size %3, value %4): expected %5, read %6")
      .arg(record.Line)
      .arg(QString::fromLatin1(record.Description))
      .arg(record.Size)
      .arg(record.Value)
      .arg(BytesShown(expected, QList<QByteArray>(expected.size())), BytesShown(read, record.Replies));
}

QString ComparisonText(const ParameterComparison &comparison) {
  const ComparisonCounts counts = comparison.Counts();
  QStringList lines;
  if (comparison.AllEqual())
    lines << QStringLiteral("The controller's parameter memory equals the parameter list.");
  else
    lines << QStringLiteral("The controller's parameter memory differs from the parameter list in %1 record(s):")
                 .arg(counts.Different);
  for (const RecordComparison &record : comparison.Records)
    if (record.Compared() && !record.Equal()) lines << "  " + DifferenceText(record);
  lines << QStringLiteral("Records compared: %1, equal: %2, different: %3.")
               .arg(counts.Compared)
               .arg(counts.Equal)
               .arg(counts.Different);
  if (counts.NotCompared > 0)
    lines << QStringLiteral("Records that transfer nothing (header lines, sizes other than 1, 2 or 4), not compared: %1.")
                 .arg(counts.NotCompared);
  return lines.join('\r');
}

QString ReplySeen(const QByteArray &reply, int byte) {
  if (byte >= 0) return ByteHex(quint8(byte));
  if (reply.isEmpty()) return QStringLiteral("nothing");
  QString shown;
  for (char c : reply) {
    const uchar u = uchar(c);
    if (c == '\r') shown += "\\r";
    else if (c == '\n') shown += "\\n";
    else if (u < 0x20 || u >= 0x7F) shown += "\\x" + QString::number(u, 16).toUpper().rightJustified(2, '0');
    else shown += QChar(c);
  }
  return '"' + shown + '"';
}
