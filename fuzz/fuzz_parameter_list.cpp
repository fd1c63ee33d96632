// The field reader, its number conversions and the parameter list checks
// against any file content.

#include "FieldReader.h"
#include "FuzzSupport.h"
#include "ParameterList.h"
#include "ParameterListCheck.h"

#include <QBuffer>
#include <QRegularExpression>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray SkipBlanks(QByteArray text) {
  while (!text.isEmpty() && IsBlank(text[0])) text.remove(0, 1);
  return text;
}

// Number conversions against a plain reading of their rules.
void CheckNumbers(const QByteArray &field) {
  static const QRegularExpression decimal(QStringLiteral("^[ \\t]*([+-]?[0-9]+)"));
  static const QRegularExpression hex(QStringLiteral("^[ \\t]*&[Hh]0*([0-9A-Fa-f]*)"));
  static const QRegularExpression hexDigit(QStringLiteral("^[ \\t]*&[Hh][0-9A-Fa-f]"));
  const QString text = QString::fromLatin1(field);

  const QRegularExpressionMatch d = decimal.match(text);
  bool fits = false;
  const qint32 value = FieldToInt(field, &fits);
  FUZZ_CHECK(FieldIsNumber(field) == d.hasMatch());
  if (!d.hasMatch()) {
    FUZZ_CHECK(fits && value == 0);
  } else {
    bool inRange = false;  // false also past 64 bits
    const qint64 wide = d.captured(1).toLongLong(&inRange);
    inRange = inRange && wide >= INT32_MIN && wide <= INT32_MAX;
    FUZZ_CHECK(fits == inRange);
    FUZZ_CHECK(value == (inRange ? wide : 0));
  }

  bool ok = false;
  QByteArray rest;
  const qint32 address = ReadStartAddressValue(field, &ok, &rest);
  FUZZ_CHECK(field.endsWith(rest));
  const QRegularExpressionMatch h = hex.match(text);
  if (hexDigit.match(text).hasMatch()) {
    const QString digits = h.captured(1);  // leading zeros left out
    FUZZ_CHECK(ok == (digits.size() <= 8));
    if (ok) {
      FUZZ_CHECK(static_cast<quint32>(address) == (digits.isEmpty() ? 0u : digits.toUInt(nullptr, 16)));
      FUZZ_CHECK(rest == field.mid(h.capturedLength(0)));
    }
  } else if (h.hasMatch()) {
    FUZZ_CHECK(!ok);  // "&H" with no digit is not a number
  } else {
    FUZZ_CHECK(ok == (d.hasMatch() && fits));
    if (ok) FUZZ_CHECK(address == value && rest == field.mid(d.capturedLength(0)));
  }
  if (!ok) FUZZ_CHECK(address == 0);

  // The fixed-width forms that go on the line read back to the same number.
  const QString hexValue = ValueHex(value);
  FUZZ_CHECK(hexValue.size() == 8 && hexValue == hexValue.toUpper());
  FUZZ_CHECK(hexValue.toUInt(nullptr, 16) == static_cast<quint32>(value));
  const QString hexAddress = AddressHex(ToAddress(address));
  FUZZ_CHECK(hexAddress.size() == 4 && hexAddress == hexAddress.toUpper());
  FUZZ_CHECK(hexAddress.toUInt(nullptr, 16) == (static_cast<quint32>(address) & 0xFFFFu));
  FUZZ_CHECK(ByteHex(static_cast<quint8>(value)) == hexValue.right(2));
}

// The reader refills a 64 KiB buffer; a filler first line puts the seam a few
// bytes into the input, so line ends (CR | LF above all) get split across it.
// Reading the filler is slow, so one input in eight, picked by its length so
// that a failure reproduces, takes this path.
void CheckBufferSeam(const QByteArray &bytes) {
  if (bytes.size() % 8 != 7) return;
  const qsizetype offset = 1 + (static_cast<unsigned char>(bytes[0]) & 7);
  const QByteArray filler(64 * 1024 - offset, 'x');
  QByteArray content = filler + bytes;
  QBuffer buffer(&content);
  FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
  QList<QByteArray> lines = SplitLines(bytes);
  if (lines.isEmpty()) lines.append(QByteArray());
  lines[0].prepend(filler);
  FieldReader reader;
  FUZZ_CHECK(reader.Open(buffer));
  for (const QByteArray &line : lines) FUZZ_CHECK(reader.ReadLine() == line && !reader.PastEnd());
  FUZZ_CHECK(reader.AtEnd());
  FUZZ_CHECK(buffer.seek(0) && CountLines(buffer) == lines.size());
}

// The reader's lines and fields against a split of the bytes done here.
void CheckReader(QByteArray bytes) {
  // A byte-order mark at the very start is no part of the first line.
  const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
  const QList<QByteArray> lines = SplitLines(text);
  QBuffer buffer(&bytes);
  FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
  FieldReader reader;
  FUZZ_CHECK(reader.Open(buffer));
  for (const QByteArray &line : lines) {
    FUZZ_CHECK(!reader.AtEnd());
    FUZZ_CHECK(reader.ReadLine() == line && !reader.PastEnd());
  }
  FUZZ_CHECK(reader.AtEnd());
  FUZZ_CHECK(reader.ReadLine().isEmpty() && reader.PastEnd());
  FUZZ_CHECK(buffer.seek(0) && CountLines(buffer) == CountedLines(text));
  CheckBufferSeam(bytes);

  // Fields: each line split at its commas, blanks before a field skipped.
  // Quotes change the split, so only the reader's own bounds are checked then.
  const bool quoted = text.contains('"');
  QList<QByteArray> expected;
  for (const QByteArray &line : lines) {
    for (const QByteArray &piece : line.split(',')) expected.append(SkipBlanks(piece));
  }
  FUZZ_CHECK(buffer.seek(0) && reader.Open(buffer));
  qint64 previousLine = 0, total = 0, count = 0;
  for (;;) {
    const QByteArray field = reader.ReadField();
    if (reader.PastEnd()) break;
    FUZZ_CHECK(reader.Line() >= previousLine && reader.Line() <= lines.size());
    previousLine = reader.Line();
    total += field.size();
    FUZZ_CHECK(total <= bytes.size());
    if (!quoted) FUZZ_CHECK(count < expected.size() && field == expected[count]);
    FUZZ_CHECK(++count <= bytes.size() + 1);
    CheckNumbers(field);
  }
  if (!quoted) FUZZ_CHECK(count == expected.size());
  FUZZ_CHECK(reader.AtEnd());
}

// A refusal names the file, and the line when there is one to name.
void CheckMessage(const QString &message, const QString &path, qint64 lines) {
  const QString prefix = QStringLiteral("Parameter list ") + path;
  FUZZ_CHECK(message.startsWith(prefix));
  const QString after = message.mid(prefix.size());
  static const QRegularExpression lineNamed(QStringLiteral("^, line ([0-9]+): \\S"));
  const QRegularExpressionMatch m = lineNamed.match(after);
  if (m.hasMatch()) {
    const qint64 line = m.captured(1).toLongLong();
    FUZZ_CHECK(line >= 1 && line <= lines);
  } else {
    FUZZ_CHECK(after.startsWith(QStringLiteral(": the file ")));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  CheckReader(bytes);
  // The checks name the file they refuse, so they read one.
  const QString path = WriteFuzzFile(bytes, "list.txt");

  const qint64 lines = CountedLines(bytes);
  QString mapError;
  const Verdict fullCheck = CheckParameterList(path, false), parameterOnlyCheck = CheckParameterList(path, true);
  const bool full = fullCheck.Ok, parameterOnly = parameterOnlyCheck.Ok;
  const QString &fullMessage = fullCheck.Why, &parameterOnlyMessage = parameterOnlyCheck.Why;
  const Checked<qint32> crc = ReadParameterCrc(path);
  const bool crcRead = crc.Value.has_value();
  const QString &crcError = crc.Why;
  const std::map<quint16, quint8> written = ParameterByteMap(path, &mapError);
  FUZZ_CHECK(mapError.isEmpty());

  // Parameter-only mode asks for the CRC on top of everything else.
  FUZZ_CHECK(parameterOnly == (full && crcRead));
  if (full) {
    FUZZ_CHECK(fullMessage.isEmpty() && !written.empty());
  } else {
    CheckMessage(fullMessage, path, lines);
    FUZZ_CHECK(parameterOnlyMessage == fullMessage);
  }
  if (full && !crcRead) FUZZ_CHECK(parameterOnlyMessage == crcError);
  if (!crcRead) CheckMessage(crcError, path, lines);
  return 0;
}
