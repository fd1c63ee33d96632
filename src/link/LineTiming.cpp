#include "LineTiming.h"

void NoteArrivalGap(LineTiming &timing, qint64 gapNs) { timing.LongestGapNs = qMax(timing.LongestGapNs, gapNs); }

qint64 SettleQuietNs(const LineTiming &timing, qint32 baud) {
  // Bytes that flow at the line's rate are not a pause, however they jitter;
  // a pause longer than the quiet that ends a reply is waited out with the
  // same two character times to spare.
  const qint64 twoCharacters = 2 * 10 * 1'000'000'000LL / qMax(1, baud);
  if (timing.LongestGapNs <= twoCharacters) return twoCharacters;
  return qMin(MaxSettleQuietNs, timing.LongestGapNs + twoCharacters);
}
