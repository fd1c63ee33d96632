#include "LineTiming.h"

void NoteArrivalGap(LineTiming &timing, qint64 gapNs) { timing.LongestGapNs = qMax(timing.LongestGapNs, gapNs); }

qint64 SettleQuietNs(const LineTiming &timing, qint32 baud) {
  const qint64 twoCharacters = 2 * 10 * 1'000'000'000LL / qMax(1, baud);
  return qMin(MaxSettleQuietNs, qMax(twoCharacters, timing.LongestGapNs + timing.LongestGapNs / 4));
}
