#include "ParameterListCheck.h"

#include "ParameterList.h"
#include "FieldReader.h"
#include "TextChars.h"

namespace {

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


QString ThreeFields() {
  return QStringLiteral("each parameter line must hold exactly three fields: size, description, value.");
}

QString BlankLineFault() {
  return QStringLiteral("this line is blank; a blank line between parameter lines puts every record after it out "
                        "of step, as %1")
      .arg(ThreeFields());
}

// Where the check has got to in one file, and how it words a refusal.
struct ListCheck {
  QString Path;
  mutable QString Why;  // the refusal, once there is one
  bool ParametersStarted = false;
  qint64 BlankLine = 0;  // first blank line seen after the parameters began
  qint64 Writing = 0;    // records of Size 1, 2 or 4

  bool Fail(qint64 line, const QString &what) const {
    Why = CheckPrefix(ParameterListKind(), Path, line) + what;
    return false;
  }
};

// The first field: a number that fits 16 bits, decimal or hexadecimal after
// &H, with nothing after it.
bool CheckStartAddress(FieldReader &reader, const ListCheck &check, quint16 &start) {
  const QByteArray field = reader.ReadField();
  const qint64 line = reader.Line();
  if (reader.UnclosedQuote()) {
    return check.Fail(line, QStringLiteral("a double quote opens a text that is not closed on this line."));
  }
  bool ok = false;
  QByteArray rest;
  const qint32 value = ReadStartAddressValue(field, &ok, &rest);
  const QByteArray t = TrimBlanks(field);
  if (!ok) {
    if (t.isEmpty()) return check.Fail(line, QStringLiteral("the start address is missing (the first field of the file)."));
    // Starts like a number but is too long?
    if (FieldIsNumber(t) || (StartsHex(t) && t.size() > 2 && HexDigit(t[2]) >= 0)) {
      return check.Fail(line, QStringLiteral("the start address %1 does not fit 16 bits.").arg(Shown(field)));
    }
    return check.Fail(line, QStringLiteral("the start address \"%1\" is not a number (decimal, or hexadecimal after &H).")
                                .arg(Shown(field)));
  }
  const bool hex = StartsHex(field);
  if ((hex && static_cast<quint32>(value) > 0xFFFFu) || (!hex && (value < -32768 || value > 65535))) {
    return check.Fail(line, QStringLiteral("the start address %1 does not fit 16 bits (hexadecimal 0 to FFFF).")
                                .arg(Shown(field)));
  }
  if (!TrimBlanks(rest).isEmpty()) {
    return check.Fail(line, QStringLiteral("the start address \"%1\" has other text after its number (\"%2\").")
                                .arg(Shown(field), Shown(rest)));
  }
  start = ToAddress(value);
  return true;
}

bool AllBlank(const RecordFields &f) {
  for (const QByteArray &text : f.Text)
    if (!TrimBlanks(text).isEmpty()) return false;
  return true;
}

// What any record must be: quotes closed, the file not ending inside it, no
// blank line before it, numbers that fit. `blanksOnly`: all that was left of
// the file were blanks and line ends, which the transfer reads as a record of
// Size 0.
bool CheckRecordFields(const RecordFields &f, const ListCheck &check, bool &blanksOnly) {
  if (f.UnclosedQuoteLine > 0) {
    return check.Fail(f.UnclosedQuoteLine, QStringLiteral("a double quote opens a text that is not closed on this line."));
  }
  const bool allBlank = AllBlank(f);
  const bool endsInside = f.PastEnd[1] || f.PastEnd[2];
  blanksOnly = allBlank && endsInside;
  if (blanksOnly) return true;
  if (endsInside) {
    return check.Fail(f.Line[0], QStringLiteral("the file ends in the middle of a record: the record that starts here "
                                                "lacks its %1; %2")
                                     .arg(f.PastEnd[1] ? QStringLiteral("description and value") : QStringLiteral("value"),
                                          ThreeFields()));
  }
  if (check.BlankLine > 0 && !allBlank) return check.Fail(check.BlankLine, BlankLineFault());
  bool fits = false;
  const qint32 size = FieldToInt(f.Text[0], &fits);
  if (!fits || size < -32768 || size > 32767) {
    return check.Fail(f.Line[0], QStringLiteral("the size %1 does not fit 16 bits.").arg(Shown(f.Text[0])));
  }
  FieldToInt(f.Text[2], &fits);
  if (!fits) return check.Fail(f.Line[2], QStringLiteral("the value %1 does not fit 32 bits.").arg(Shown(f.Text[2])));
  return true;
}

// A record that writes bytes fills exactly one line and has a number for its value.
bool CheckWritingRecord(const RecordFields &f, const ParameterRecord &record, ListCheck &check) {
  const QString size = QString::number(record.Size);
  if (f.Line[0] != f.Line[2]) {
    return check.Fail(f.Line[0], QStringLiteral("the record of size %1 that starts here runs over into line %2; %3")
                                     .arg(size, QString::number(f.Line[2]), ThreeFields()));
  }
  if (!f.EndedLine[2]) {
    return check.Fail(f.Line[2], QStringLiteral("there are more than three fields on this line; %1").arg(ThreeFields()));
  }
  if (!FieldIsNumber(f.Text[2])) {
    if (TrimBlanks(f.Text[2]).isEmpty()) {
      return check.Fail(f.Line[2], QStringLiteral("the %1-byte parameter \"%2\" has no value.").arg(size, Shown(f.Text[1])));
    }
    return check.Fail(f.Line[2], QStringLiteral("the value \"%1\" of the %2-byte parameter \"%3\" is not a number.")
                                     .arg(Shown(f.Text[2]), size, Shown(f.Text[1])));
  }
  check.ParametersStarted = true;
  ++check.Writing;
  return true;
}

// Once the parameters have begun, a record that writes nothing must still fill
// one line exactly; blank lines are let pass only at the end of the file.
bool CheckOtherRecord(const RecordFields &f, ListCheck &check) {
  const bool oneLine = f.Line[0] == f.Line[2] && f.EndedLine[2];
  if (!check.ParametersStarted || oneLine) return true;
  if (AllBlank(f)) {
    if (check.BlankLine == 0) check.BlankLine = f.Line[0];
    return true;
  }
  if (TrimBlanks(f.Text[0]).isEmpty() && f.EndedLine[0]) return check.Fail(f.Line[0], BlankLineFault());
  return check.Fail(f.Line[0], QStringLiteral("this line does not hold exactly three fields, so the records after it "
                                              "would be read out of step; %1")
                                   .arg(ThreeFields()));
}

bool CheckRecord(const RecordFields &f, const ParameterRecord &record, ListCheck &check) {
  bool blanksOnly = false;
  if (!CheckRecordFields(f, check, blanksOnly)) return false;
  if (blanksOnly) return true;
  if (!RecordBytes(record).isEmpty()) return CheckWritingRecord(f, record, check);
  return CheckOtherRecord(f, check);
}

bool ReadCrc(const InputFile &list, qint32 &crc, QString &why) {
  auto fail = [&](qint64 line, const QString &what) {
    why = CheckPrefix(ParameterListKind(), list.Path, line) + what;
    return false;
  };
  InputReader input(list);
  FieldReader &reader = input.Fields();
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

bool FitForTransfer(const InputFile &list, bool parameterOnlyMode, ListCheck &check) {
  InputReader input(list);
  FieldReader &reader = input.Fields();
  if (reader.AtEnd()) {
    if (reader.ReadFailed()) return check.Fail(0, QStringLiteral("the file could not be read."));
    return check.Fail(0, QStringLiteral("the file is empty."));
  }
  quint16 start = 0;
  if (!CheckStartAddress(reader, check, start)) return false;
  ParameterWalk walk;
  walk.OnRecord = [&check](const RecordFields &f, const ParameterRecord &record) { return CheckRecord(f, record, check); };
  if (!WalkRecords(reader, start, walk)) return false;
  if (reader.ReadFailed()) return check.Fail(0, QStringLiteral("the file could not be read to its end."));
  if (check.Writing == 0) {
    return check.Fail(0, QStringLiteral("the file holds no parameter (no record of size 1, 2 or 4), so nothing would "
                                        "be written; check that %1")
                             .arg(ThreeFields()));
  }
  qint32 crc = 0;
  return !parameterOnlyMode || ReadCrc(list, crc, check.Why);
}

}  // namespace

Checked<qint32> ReadParameterCrc(const InputFile &list) {
  qint32 crc = 0;
  QString why;
  if (!ReadCrc(list, crc, why)) return Checked<qint32>::Refused(why);
  return {crc, {}};
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
Verdict CheckParameterList(const InputFile &list, bool parameterOnlyMode) {
  ListCheck check{list.Path, {}};
  const bool fit = FitForTransfer(list, parameterOnlyMode, check);
  return fit ? Verdict{} : Verdict::Refused(check.Why);
}

Checked<qint32> ReadParameterCrc(const QString &path) {
  const Checked<InputFile> list = ReadInputFile(ParameterListKind(), path);
  return list ? ReadParameterCrc(*list) : Checked<qint32>::Refused(list.Why);
}

Verdict CheckParameterList(const QString &path, bool parameterOnlyMode) {
  const Checked<InputFile> list = ReadInputFile(ParameterListKind(), path);
  return list ? CheckParameterList(*list, parameterOnlyMode) : Verdict::Refused(list.Why);
}
