#include "ProgramFileCheck.h"

#include "FieldReader.h"
#include "TextChars.h"

namespace {

QString Shown(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return QStringLiteral("\"%1\"").arg(QLatin1Char(c));
  return QStringLiteral("the byte %1 (hexadecimal)").arg(ByteHex(u));
}


// Empty when the line is a well-formed S-record; otherwise what is wrong.
QString RecordFault(const QByteArray &line) {
  if (line[0] != 'S') return QStringLiteral("this is not an S-record: it does not begin with \"S\".");
  if (line.size() < 2 || line[1] < '0' || line[1] > '9') {
    return QStringLiteral("this is not an S-record: \"S\" is not followed by the record type 0 to 9.");
  }
  for (qsizetype i = 2; i < line.size(); ++i) {
    if (HexDigit(line[i]) < 0) {
      return QStringLiteral("character %1, %2, is not a hexadecimal digit.").arg(QString::number(i + 1), Shown(line[i]));
    }
  }
  const qsizetype digits = line.size() - 2;
  if (digits < 2) return QStringLiteral("the S%1 record has no byte count.").arg(QLatin1Char(line[1]));
  if (digits % 2 != 0) {
    return QStringLiteral("the record holds an odd number of hexadecimal digits (%1), not whole bytes.")
        .arg(digits);
  }
  auto byteAt = [&](qsizetype index) {  // index 0 is the count
    return static_cast<unsigned>(HexDigit(line[2 + 2 * index]) * 16 + HexDigit(line[3 + 2 * index]));
  };
  const unsigned count = byteAt(0);
  const qsizetype bytesAfterCount = digits / 2 - 1;
  if (static_cast<qsizetype>(count) != bytesAfterCount) {
    return QStringLiteral("the byte count %1 (%2 bytes) does not match the %3 bytes that follow it on the line.")
        .arg(ByteHex(quint8(count)), QString::number(count), QString::number(bytesAfterCount));
  }
  int addressBytes = 0;
  switch (line[1]) {
    case '0': case '1': case '5': case '9': addressBytes = 2; break;
    case '2': case '6': case '8': addressBytes = 3; break;
    case '3': case '7': addressBytes = 4; break;
    default: addressBytes = 0; break;  // S4: reserved, no fixed layout
  }
  if (static_cast<int>(count) < addressBytes + 1) {
    return QStringLiteral("the S%1 record is too short: it needs %2 address bytes and a checksum, its count is %3.")
        .arg(QString(QLatin1Char(line[1])), QString::number(addressBytes), QString::number(count));
  }
  unsigned sum = 0;
  for (qsizetype i = 0; i < bytesAfterCount; ++i) sum += byteAt(i);  // count, address, data
  const unsigned expected = (~sum) & 0xFFu;
  const unsigned actual = byteAt(bytesAfterCount);
  if (expected != actual) {
    return QStringLiteral("the checksum is %1 but should be %2.").arg(ByteHex(quint8(actual)), ByteHex(quint8(expected)));
  }
  return {};
}

}  // namespace

Verdict CheckProgramFile(const InputFile &program) {
  auto fail = [&](qint64 line, const QString &what) {
    return Verdict::Refused(CheckPrefix(ProgramFileKind(), program.Path, line) + what);
  };
  InputReader input(program);
  FieldReader &reader = input.Fields();
  if (reader.AtEnd()) {
    if (reader.ReadFailed()) return fail(0, QStringLiteral("the file could not be read."));
    return fail(0, QStringLiteral("the file is empty; it holds no S-record."));
  }
  qint64 records = 0;
  do {
    const QByteArray line = reader.ReadLine();
    const qint64 number = reader.Line();
    qsizetype firstNonBlank = 0;
    while (firstNonBlank < line.size() && IsBlank(line[firstNonBlank])) ++firstNonBlank;
    if (firstNonBlank == line.size()) continue;  // blank line: nothing is sent for it
    if (firstNonBlank > 0) return fail(number, QStringLiteral("the line begins with a blank."));
    if (line.contains(',')) return fail(number, QStringLiteral("the line holds a comma."));
    if (line.contains('"')) return fail(number, QStringLiteral("the line holds a double quote."));
    if (IsBlank(line[line.size() - 1])) {
      return fail(number, QStringLiteral("there are blanks after the end of the record."));
    }
    const QString fault = RecordFault(line);
    if (!fault.isEmpty()) return fail(number, fault);
    ++records;
  } while (!reader.AtEnd());
  if (reader.ReadFailed()) return fail(0, QStringLiteral("the file could not be read to its end."));
  if (records == 0) return fail(0, QStringLiteral("the file holds no S-record, only blank lines."));
  return {};
}

Verdict CheckProgramFile(const QString &path) {
  const Checked<InputFile> program = ReadInputFile(ProgramFileKind(), path);
  return program ? CheckProgramFile(*program) : Verdict::Refused(program.Why);
}
