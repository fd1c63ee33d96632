// The program file check against any file content, compared with a plain
// S-record reading written here.

#include "FuzzSupport.h"
#include "ProgramFileCheck.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// True when the line is a record the transfer can send as it stands.
bool GoodRecord(const QByteArray &line) {
  static const QRegularExpression shape(QStringLiteral("^S([0-9])((?:[0-9A-Fa-f]{2})+)$"));
  const QRegularExpressionMatch m = shape.match(QString::fromLatin1(line));
  if (!m.hasMatch()) return false;
  const QByteArray bytes = QByteArray::fromHex(m.captured(2).toLatin1());
  const int count = static_cast<unsigned char>(bytes[0]);
  if (count != bytes.size() - 1) return false;
  static const int addressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
  if (count < addressBytes[m.captured(1).toInt()] + 1) return false;
  unsigned sum = 0;  // count, address, data and checksum add up to FF
  for (const char b : bytes) sum += static_cast<unsigned char>(b);
  return (sum & 0xFFu) == 0xFFu;
}

bool GoodFile(const QList<QByteArray> &lines) {
  qsizetype records = 0;
  for (const QByteArray &line : lines) {
    if (std::all_of(line.begin(), line.end(), IsBlank)) continue;  // nothing is sent for it
    if (!GoodRecord(line)) return false;
    ++records;
  }
  return records > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const QString path = WriteFuzzFile(bytes, "program.s19");
  // A byte-order mark at the very start is no part of the first line.
  const QList<QByteArray> lines = SplitLines(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);

  const Verdict check = CheckProgramFile(path);
  const bool accepted = check.Ok;
  const QString &message = check.Why;
  FUZZ_CHECK(accepted == GoodFile(lines));
  if (accepted) {
    FUZZ_CHECK(message.isEmpty());
    // Lines go out as fields: a comma or a quote would cut them.
    FUZZ_CHECK(!bytes.contains(',') && !bytes.contains('"'));
    return 0;
  }
  // A refusal names the file, and the line when there is one to name.
  const QString prefix = QStringLiteral("Program file ") + path;
  FUZZ_CHECK(message.startsWith(prefix));
  static const QRegularExpression lineNamed(QStringLiteral("^, line ([0-9]+): \\S"));
  const QRegularExpressionMatch m = lineNamed.match(message.mid(prefix.size()));
  if (m.hasMatch()) {
    const qint64 line = m.captured(1).toLongLong();
    FUZZ_CHECK(line >= 1 && line <= lines.size() && !GoodRecord(lines[line - 1]));
  } else {
    FUZZ_CHECK(message.mid(prefix.size()).startsWith(QStringLiteral(": the file ")));
  }
  return 0;
}
