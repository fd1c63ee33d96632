#pragma once
// The parameter list file: its records, their byte image, the walk over its
// bytes that every pass shares, the map of bytes SendParameterList writes, the
// CRC of its third line, and the pre-flight check that reads the whole file
// before the port is opened.

#include "TextChars.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <map>

class FieldReader;

struct ParameterRecord {
  qint16 Size = 0;  // 1, 2 or 4 are transferred; any other value transfers nothing
  QByteArray Description;
  qint32 Value = 0;
};

// One record's three fields (Size, Description, Value) as read, with where
// each lay, for the pre-flight check's messages.
struct RecordFields {
  QByteArray Text[3];
  qint64 Line[3] = {};
  bool PastEnd[3] = {};          // nothing was left to read
  bool EndedLine[3] = {};        // the field was the last of its line
  qint64 UnclosedQuoteLine = 0;  // of the first field whose quote was left open; 0: none
};

// Reads the next three fields.
RecordFields ReadRecordFields(FieldReader &reader);

// The record the transfer procedures see: Size and Value are whole decimal
// numbers (a text reads as 0); a Size that does not fit 16 bits and a Value
// that does not fit 32 bits read as 0 (the pre-flight check refuses such files).
ParameterRecord RecordOf(const RecordFields &fields);

// Reads the next three fields as one record: RecordOf(ReadRecordFields(reader)).
ParameterRecord ReadParameterRecord(FieldReader &reader);

// Eight upper-case hexadecimal digits of the value's 32-bit two's complement
// (-2 gives "FFFFFFFE").
QString ValueHex(qint32 value);

// The bytes sent for a record, most significant first, only the low Size
// bytes: Size 1 value 300 gives {0x2C}; Size 4 value -2 gives FF FF FF FE.
// Empty for any Size other than 1, 2 or 4.
QList<quint8> RecordBytes(const ParameterRecord &record);

// Fixed-width upper-case hexadecimal for the boot-monitor commands.
QString AddressHex(quint16 address);  // 4 digits: 0x0100 gives "0100"

// How far a record moves the running address.
enum class RecordSpan {
  SentBytes,      // the bytes SendParameterList writes: Size 1, 2 or 4; none for any other Size
  SizeAddresses,  // Size addresses for any positive Size, as VerifyParameterList reads them
};

// One pass over a parameter list. A callback returning false ends the walk.
struct ParameterWalk {
  RecordSpan Span = RecordSpan::SentBytes;
  // For every record, before its bytes, also for one that spans none.
  std::function<bool(const RecordFields &fields, const ParameterRecord &record)> OnRecord;
  // For each byte: its address and the byte a write sends there (0 where a
  // SizeAddresses record sends none).
  std::function<bool(quint16 address, quint8 byte, const ParameterRecord &record)> OnByte;
};

// The walk every pass shares: from the running address `start`, records of
// three fields at a time across line ends, header lines included, while the
// file has bytes left; one address per byte, the 16-bit address wrapping
// (FFFF to 0000, 7FFF to 8000). False when a callback ended it.
bool WalkRecords(FieldReader &reader, quint16 start, const ParameterWalk &walk);

// The start address (the first field; one that does not read counts as 0,
// like the original's Val), then WalkRecords from it.
bool WalkParameterList(FieldReader &reader, const ParameterWalk &walk);

// The bytes SendParameterList writes, by address, following its walk. An
// address written twice holds the later byte. On a file that cannot be
// opened: empty map and *error set.
std::map<quint16, quint8> ParameterByteMap(const QString &path, QString *error);
struct InputFile;
std::map<quint16, quint8> ParameterByteMap(const InputFile &list);
