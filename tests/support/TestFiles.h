#pragma once
// Program files and parameter lists made up for the tests.

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>

// One Motorola S-record line with its byte count and checksum, no line end.
QByteArray SRecord(int type, quint32 address, const QByteArray &data);

// A program file of `dataRecords` S1 records of 16 bytes from 0x8000, framed
// by an S0 header and an S9 end record; lines ended by CR LF.
QByteArray ProgramFile(int dataRecords);

// What a program file puts into flash, address by address.
std::map<quint32, quint8> FlashImageOf(const QByteArray &programFile);

// A parameter list: the start address and two header fields, a second line
// of two fields, a third of two carrying `crc`, then one "size,description,value" line per entry.
struct Param {
  int Size;
  qint64 Value;
};
QByteArray ParameterList(const QByteArray &start, const QList<Param> &params, qint64 crc = 4660);

// Writes `content` to `dir`/`name` and returns the path.
QString WriteTestFile(const QString &dir, const QString &name, const QByteArray &content);
