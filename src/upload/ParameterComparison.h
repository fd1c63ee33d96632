#pragma once
// A parameter list compared with the controller's parameter memory: for each
// record, the bytes an upload would write and the bytes read back.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

struct RecordComparison {
  qint64 Line = 0;  // of the record's Size field
  QByteArray Description;
  qint16 Size = 0;
  qint32 Value = 0;
  QList<quint8> Expected;  // what an upload writes; empty: the record transfers nothing
  QList<int> Read;         // read back, one per expected byte; -1 where the reply held no byte
  QList<QByteArray> Replies;
  bool Compared() const { return !Expected.isEmpty(); }
  bool Equal() const;
};

// "42", "nothing" or the reply quoted with its control bytes shown.
QString ReplySeen(const QByteArray &reply, int byte);

struct ComparisonCounts {
  int Compared = 0, Equal = 0, Different = 0;
  int NotCompared = 0;  // records that transfer nothing
};

struct ParameterComparison {
  QList<RecordComparison> Records;
  bool Complete = false;  // every byte was read back
  ComparisonCounts Counts() const;
  bool AllEqual() const { return Complete && Counts().Different == 0; }
};

// The bytes read as the read-back converts them: hexadecimal, signed 32 bits
// for four bytes, otherwise the unsigned value. Empty when a byte is missing.
QString ReadBackValueText(const QList<int> &bytes);

// "Line 7, "Offset" (Size 1, value -3): expected FD (253), read 2C (44)".
QString DifferenceText(const RecordComparison &record);

// The verdict, each differing record, and the counts; lines joined by CR.
QString ComparisonText(const ParameterComparison &comparison);
