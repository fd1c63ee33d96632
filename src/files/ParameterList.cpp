#include "ParameterList.h"

#include "InputFile.h"

#include "FieldReader.h"

namespace {

// The bytes a record spans, in address order.
QList<quint8> SpannedBytes(const ParameterRecord &record, RecordSpan span) {
  QList<quint8> bytes = RecordBytes(record);
  if (span == RecordSpan::SizeAddresses) bytes.resize(qMax<qsizetype>(record.Size, 0));
  return bytes;
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
  const Checked<InputFile> list = ReadInputFile(ParameterListKind(), path);
  if (!list && error) *error = list.Why;
  return list ? ParameterByteMap(*list) : std::map<quint16, quint8>();
}

std::map<quint16, quint8> ParameterByteMap(const InputFile &list) {
  std::map<quint16, quint8> bytes;
  InputReader input(list);
  FieldReader &reader = input.Fields();
  ParameterWalk walk;
  walk.OnByte = [&bytes](quint16 address, quint8 byte, const ParameterRecord &) {
    bytes[address] = byte;
    return true;
  };
  WalkParameterList(reader, walk);
  return bytes;
}
