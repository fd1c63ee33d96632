#pragma once
// Boot-monitor replies are never parsed: a step compares a fixed 1-based slice
// with a literal, and a reply too short for its slice simply fails to match.

#include <QByteArray>

inline QByteArray Slice(const QByteArray &reply, int position, int length) {
  return reply.mid(position - 1, length);
}

// Characters 8 to 10 of the boot monitor's answer to a lone carriage return.
inline QByteArray PromptTagOf(const QByteArray &reply) { return Slice(reply, 8, 3); }

inline bool IsMonitorTag(const QByteArray &tag) { return tag == " Er" || tag == "(E)"; }
