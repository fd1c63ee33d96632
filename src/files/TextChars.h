#pragma once
// Character classes the file readers and the reply parsing share, and the
// one way a byte is shown in hexadecimal.

#include <QString>
#include <QtGlobal>

// A blank between fields: space or tab. Takes a byte as int so that a reader's
// end-of-input value (-1) is simply not a blank.
inline bool IsBlank(int c) { return c == ' ' || c == '\t'; }

// A line end or a blank: what a monitor may put around an answer.
inline bool IsLineSpace(int c) { return c == '\r' || c == '\n' || IsBlank(c); }

// The value of a hexadecimal digit of either case; -1 for any other character.
inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two upper-case digits: 0x2C gives "2C".
inline QString ByteHex(quint8 byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }
