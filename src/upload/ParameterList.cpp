#include "ParameterList.h"

#include "FieldReader.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray TrimBlanks(const QByteArray &text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// A field as the technician wrote it, for messages.
QString Shown(const QByteArray &field) { return QString::fromLatin1(TrimBlanks(field)); }

bool StartsHex(const QByteArray &text) {
  const QByteArray t = TrimBlanks(text);
  return t.size() >= 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h');
}

// The bytes a record spans, in address order.
QList<quint8> SpannedBytes(const ParameterRecord &record, RecordSpan span) {
  QList<quint8> bytes = RecordBytes(record);
  if (span == RecordSpan::SizeAddresses) bytes.resize(qMax<qsizetype>(record.Size, 0));
  return bytes;
}

QString ListPrefix(const QString &path, qint64 line) {
  return line > 0 ? QStringLiteral("Parameter list %1, line %2: ").arg(path, QString::number(line))
                  : QStringLiteral("Parameter list %1: ").arg(path);
}

}  // namespace

RecordFields ReadRecordFields(FieldReader &reader) {
  RecordFields fields;
  for (int k = 0; k < 3; ++k) {
    fields.Text[k] = reader.ReadField();
    fields.Line[k] = reader.Line();
    fields.PastEnd[k] = reader.PastEnd();
    fields.EndedLine[k] = reader.FieldEndedLine();
    if (reader.UnclosedQuote() && fields.UnclosedQuoteLine == 0) fields.UnclosedQuoteLine = fields.Line[k];
  }
  return fields;
}

ParameterRecord RecordOf(const RecordFields &fields) {
  ParameterRecord record;
  bool fits = false;
  const qint32 size = FieldToInt(fields.Text[0], &fits);
  record.Size = (fits && size >= -32768 && size <= 32767) ? static_cast<qint16>(size) : 0;
  record.Description = fields.Text[1];
  record.Value = FieldToInt(fields.Text[2]);
  return record;
}

ParameterRecord ReadParameterRecord(FieldReader &reader) { return RecordOf(ReadRecordFields(reader)); }

QString ValueHex(qint32 value) {
  return QStringLiteral("%1").arg(static_cast<quint32>(value), 8, 16, QLatin1Char('0')).toUpper();
}

QList<quint8> RecordBytes(const ParameterRecord &record) {
  if (record.Size != 1 && record.Size != 2 && record.Size != 4) return {};
  const quint32 value = static_cast<quint32>(record.Value);
  QList<quint8> bytes;
  for (int i = record.Size - 1; i >= 0; --i) bytes.append(static_cast<quint8>((value >> (8 * i)) & 0xFFu));
  return bytes;
}

QString AddressHex(quint16 address) {
  return QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper();
}

QString ByteHex(quint8 byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }

bool WalkRecords(FieldReader &reader, quint16 start, const ParameterWalk &walk) {
  quint16 address = start;
  while (!reader.AtEnd()) {
    const RecordFields fields = ReadRecordFields(reader);
    const ParameterRecord record = RecordOf(fields);
    if (walk.OnRecord && !walk.OnRecord(fields, record)) return false;
    for (quint8 byte : SpannedBytes(record, walk.Span)) {
      if (walk.OnByte && !walk.OnByte(address, byte, record)) return false;
      address = static_cast<quint16>(address + 1);
    }
  }
  return true;
}

bool WalkParameterList(FieldReader &reader, const ParameterWalk &walk) {
  bool ok = false;
  const quint16 start = ToAddress(ReadStartAddressValue(reader.ReadField(), &ok));
  return WalkRecords(reader, start, walk);
}

std::map<quint16, quint8> ParameterByteMap(const QString &path, QString *error) {
  std::map<quint16, quint8> bytes;
  FieldReader reader;
  if (!reader.Open(path, error)) return bytes;
  ParameterWalk walk;
  walk.OnByte = [&bytes](quint16 address, quint8 byte, const ParameterRecord &) {
    bytes[address] = byte;
    return true;
  };
  WalkParameterList(reader, walk);
  return bytes;
}

bool ReadParameterCrc(const QString &path, qint32 &crc, QString *error) {
  auto fail = [&](qint64 line, const QString &what) {
    if (error) *error = ListPrefix(path, line) + what;
    return false;
  };
  FieldReader reader;
  QString openError;
  if (!reader.Open(path, &openError)) {
    if (error) *error = QStringLiteral("Parameter list %1.").arg(openError);
    return false;
  }
  QByteArray line;
  for (int i = 1; i <= 3; ++i) {
    line = reader.ReadLine();
    if (reader.PastEnd()) {
      return fail(0, QStringLiteral("the file has only %1 line%2; its third line must hold the CRC.")
                         .arg(QString::number(i - 1), i - 1 == 1 ? QString() : QStringLiteral("s")));
    }
  }
  if (reader.ReadFailed()) return fail(0, QStringLiteral("the file could not be read."));
  const qsizetype comma = line.indexOf(',', 2);
  if (comma < 0) {
    return fail(3, QStringLiteral("there is no comma from the third character on, so the CRC after it cannot be read."));
  }
  const QByteArray text = TrimBlanks(line.mid(comma + 1));
  if (text.isEmpty()) return fail(3, QStringLiteral("there is no CRC after the comma."));
  bool fits = false;
  const qint32 value = FieldToInt(text, &fits);
  // The whole text must be the number: an optional sign and digits only.
  qsizetype i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  bool digitsOnly = i < text.size();
  for (; i < text.size(); ++i) digitsOnly = digitsOnly && text[i] >= '0' && text[i] <= '9';
  if (!digitsOnly) {
    return fail(3, QStringLiteral("the CRC \"%1\" after the comma is not a whole decimal number.").arg(Shown(text)));
  }
  if (!fits) return fail(3, QStringLiteral("the CRC %1 does not fit 32 bits.").arg(Shown(text)));
  crc = value;
  return true;
}

// What the check refuses, in the order it reads the file:
// - a file that cannot be opened or read, or that is empty;
// - a start address that is not a number (decimal, or hexadecimal after &H),
//   does not fit 16 bits (decimal -32768 to 65535, hexadecimal 0 to FFFF), or
//   is followed by other text (a mistyped "&H01O0" would silently read as 1);
// - a double quote that is not closed on its line;
// - a size that does not fit 16 bits signed, a value that does not fit 32 bits
//   signed (the original stopped with an overflow there); a size that is text
//   reads as 0 and is accepted (header lines rely on it), and so is a number
//   followed by other text;
// - a file that ends in the middle of a record, except when all that is left
//   is blank (trailing empty lines: the transfer reads them as a record of
//   Size 0, which writes nothing);
// - for a record that writes bytes (Size 1, 2 or 4): a value that is not a
//   number (the transfer would write 0), and a record that does not fill
//   exactly one line (runs over into the next line, or is followed by more
//   fields on its line): the grouping would be out of step;
// - once the first parameter line has been read, any later line that does not
//   hold exactly three fields (a blank line, two or four fields): every record
//   after it would be read out of step; blank lines at the very end are fine;
// - a file that writes no byte at all (no record of Size 1, 2 or 4): either it
//   holds no parameter or its fields are out of step, and the transfer and its
//   verification would both pass while the controller got nothing;
// - in the parameter-only mode, a third line without a readable CRC.
bool CheckParameterList(const QString &path, bool parameterOnlyMode, QString *message) {
  auto fail = [&](qint64 line, const QString &what) {
    if (message) *message = ListPrefix(path, line) + what;
    return false;
  };
  const QString threeFields = QStringLiteral("each parameter line must hold exactly three fields: size, description, value.");

  FieldReader reader;
  QString openError;
  if (!reader.Open(path, &openError)) {
    if (message) *message = QStringLiteral("Parameter list %1.").arg(openError);
    return false;
  }
  if (reader.AtEnd()) {
    if (reader.ReadFailed()) return fail(0, QStringLiteral("the file could not be read."));
    return fail(0, QStringLiteral("the file is empty."));
  }

  // Start address.
  const QByteArray startField = reader.ReadField();
  const qint64 startLine = reader.Line();
  if (reader.UnclosedQuote()) {
    return fail(startLine, QStringLiteral("a double quote opens a text that is not closed on this line."));
  }
  bool ok = false;
  QByteArray rest;
  const qint32 start = ReadStartAddressValue(startField, &ok, &rest);
  if (!ok) {
    if (TrimBlanks(startField).isEmpty()) {
      return fail(startLine, QStringLiteral("the start address is missing (the first field of the file)."));
    }
    // Starts like a number but is too long?
    const QByteArray t = TrimBlanks(startField);
    const bool looksNumeric = FieldIsNumber(t) || (StartsHex(t) && t.size() > 2 && QByteArray("0123456789ABCDEFabcdef").contains(t[2]));
    if (looksNumeric) {
      return fail(startLine, QStringLiteral("the start address %1 does not fit 16 bits.").arg(Shown(startField)));
    }
    return fail(startLine, QStringLiteral("the start address \"%1\" is not a number (decimal, or hexadecimal after &H).")
                               .arg(Shown(startField)));
  }
  const bool hex = StartsHex(startField);
  if ((hex && static_cast<quint32>(start) > 0xFFFFu) || (!hex && (start < -32768 || start > 65535))) {
    return fail(startLine, QStringLiteral("the start address %1 does not fit 16 bits (hexadecimal 0 to FFFF).")
                               .arg(Shown(startField)));
  }
  if (!TrimBlanks(rest).isEmpty()) {
    return fail(startLine, QStringLiteral("the start address \"%1\" has other text after its number (\"%2\").")
                               .arg(Shown(startField), Shown(rest)));
  }

  // Records, three fields at a time, across line ends.
  bool parametersStarted = false;
  qint64 blankLine = 0;  // first blank line seen after the parameters began
  qint64 writing = 0;
  while (!reader.AtEnd()) {
    QByteArray field[3];
    qint64 line[3];
    bool pastEnd[3];
    bool endedLine[3];
    bool allEmpty = true;
    for (int k = 0; k < 3; ++k) {
      field[k] = reader.ReadField();
      line[k] = reader.Line();
      pastEnd[k] = reader.PastEnd();
      endedLine[k] = reader.FieldEndedLine();
      if (reader.UnclosedQuote()) {
        return fail(line[k], QStringLiteral("a double quote opens a text that is not closed on this line."));
      }
      if (!TrimBlanks(field[k]).isEmpty()) allEmpty = false;
    }
    if (pastEnd[1] || pastEnd[2]) {
      if (allEmpty) break;  // only blanks and line ends were left
      return fail(line[0], QStringLiteral("the file ends in the middle of a record: the record that starts here "
                                          "lacks its %1; %2")
                               .arg(pastEnd[1] ? QStringLiteral("description and value") : QStringLiteral("value"),
                                    threeFields));
    }
    if (blankLine > 0 && !allEmpty) {
      return fail(blankLine, QStringLiteral("this line is blank; a blank line between parameter lines puts every "
                                            "record after it out of step, as %1")
                                 .arg(threeFields));
    }

    bool fits = false;
    const qint32 size = FieldToInt(field[0], &fits);
    if (!fits || size < -32768 || size > 32767) {
      return fail(line[0], QStringLiteral("the size %1 does not fit 16 bits.").arg(Shown(field[0])));
    }
    FieldToInt(field[2], &fits);
    if (!fits) return fail(line[2], QStringLiteral("the value %1 does not fit 32 bits.").arg(Shown(field[2])));

    const bool oneLine = line[0] == line[2] && endedLine[2];
    if (size == 1 || size == 2 || size == 4) {
      if (line[0] != line[2]) {
        return fail(line[0], QStringLiteral("the record of size %1 that starts here runs over into line %2; %3")
                                 .arg(QString::number(size), QString::number(line[2]), threeFields));
      }
      if (!endedLine[2]) {
        return fail(line[2], QStringLiteral("there are more than three fields on this line; %1").arg(threeFields));
      }
      if (!FieldIsNumber(field[2])) {
        if (TrimBlanks(field[2]).isEmpty()) {
          return fail(line[2], QStringLiteral("the %1-byte parameter \"%2\" has no value.").arg(QString::number(size), Shown(field[1])));
        }
        return fail(line[2], QStringLiteral("the value \"%1\" of the %2-byte parameter \"%3\" is not a number.")
                                 .arg(Shown(field[2]), QString::number(size), Shown(field[1])));
      }
      parametersStarted = true;
      ++writing;
    } else if (parametersStarted && !oneLine) {
      if (allEmpty) {
        if (blankLine == 0) blankLine = line[0];
      } else if (TrimBlanks(field[0]).isEmpty() && endedLine[0]) {
        return fail(line[0], QStringLiteral("this line is blank; a blank line between parameter lines puts every "
                                            "record after it out of step, as %1")
                                 .arg(threeFields));
      } else {
        return fail(line[0], QStringLiteral("this line does not hold exactly three fields, so the records after it "
                                            "would be read out of step; %1")
                                 .arg(threeFields));
      }
    }
  }
  if (reader.ReadFailed()) return fail(0, QStringLiteral("the file could not be read to its end."));
  if (writing == 0) {
    return fail(0, QStringLiteral("the file holds no parameter (no record of size 1, 2 or 4), so nothing would be "
                                  "written; check that %1")
                       .arg(threeFields));
  }

  if (parameterOnlyMode) {
    qint32 crc = 0;
    QString crcError;
    if (!ReadParameterCrc(path, crc, &crcError)) {
      if (message) *message = crcError;
      return false;
    }
  }
  return true;
}
