#pragma once
// The parameter list file: its records, their byte image, the map
// of bytes SendParameterList writes, the CRC of its third line, and
// the pre-flight check that reads the whole file before the port is opened.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <map>

class FieldReader;

struct ParameterRecord {
  qint16 Size = 0;  // 1, 2 or 4 are transferred; any other value transfers nothing
  QByteArray Description;
  qint32 Value = 0;
};

// Reads the next three fields as one record, as both transfer procedures do:
// Size and Value are whole decimal numbers (a text reads as 0); a Size that
// does not fit 16 bits and a Value that does not fit 32 bits read as 0 (the
// pre-flight check refuses such files).
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
QString ByteHex(quint8 byte);         // 2 digits: 0x2C gives "2C"

// The bytes SendParameterList writes, by address, following its running
// address exactly: the start address (first field; a start address that does
// not read counts as 0, like the original's Val), then records three fields at
// a time across line ends, header lines included, while the file has bytes
// left; a record of Size 1, 2 or 4 writes its bytes to consecutive addresses,
// any other Size writes nothing and leaves the address; the 16-bit address
// wraps (FFFF to 0000, 7FFF to 8000). An address written twice holds the later
// byte. On a file that cannot be opened: empty map and *error set.
std::map<quint16, quint8> ParameterByteMap(const QString &path, QString *error);

// The driver's CRC reading: reads three lines and keeps the third,
// finds its first "," from the third character on, and reads the text after
// it to the end of the line as a whole decimal number, blanks around it
// ignored, 32-bit signed. On failure returns false and sets *error to a
// message naming the file and the line.
bool ReadParameterCrc(const QString &path, qint32 &crc, QString *error);

// The pre-flight check of a parameter list, reading the whole file without
// touching the port. Returns true when the file is fit for the transfer;
// otherwise false, with *message naming the file, the line and the fault. See
// ParameterList.cpp for the full list of what is refused.
bool CheckParameterList(const QString &path, bool parameterOnlyMode, QString *message);
