#pragma once
// Boot-monitor replies are never parsed: a step compares a fixed 1-based slice
// with a literal, and a reply too short for its slice simply fails to match.

#include "BootDialect.h"  // the prompt tag, characters 8 to 10

#include <QByteArray>

inline QByteArray Slice(const QByteArray &reply, int position, int length) {
  return reply.mid(position - 1, length);
}
