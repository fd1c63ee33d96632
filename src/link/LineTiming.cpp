#include "LineTiming.h"

#include <chrono>
#include <ctime>

void NoteArrivalGap(LineTiming &timing, qint64 gapNs) { timing.LongestGapNs = qMax(timing.LongestGapNs, gapNs); }

qint64 SettleQuietNs(const LineTiming &timing, qint32 baud) {
  // Bytes that flow at the line's rate are not a pause, however they jitter;
  // a pause longer than the quiet that ends a reply is waited out with the
  // same two character times to spare.
  const qint64 twoCharacters = 2 * 10 * 1'000'000'000LL / qMax(1, baud);
  if (timing.LongestGapNs <= twoCharacters) return twoCharacters;
  return qMin(MaxSettleQuietNs, timing.LongestGapNs + twoCharacters);
}

qint64 MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

qint64 LineClockNs() {
#ifdef Q_OS_UNIX
  timespec busy{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &busy);
  return MonotonicNs() - (busy.tv_sec * 1'000'000'000LL + busy.tv_nsec);
#else
  return MonotonicNs();  // gaps then include the tool's own busy time: longer, never shorter
#endif
}

void NoteFrame(LineTiming &timing, qint64 sentNs, qint64 firstNs, qint64 lastNs, bool whole) {
  const qint64 previous = timing.LastFrameEndNs;
  timing.LastFrameEndNs = lastNs;
  if (!whole || previous < 0) return;
  // "At once": the request went out sooner after the previous frame than its
  // own reply then took; after a pause the reply's timing tells nothing.
  if (sentNs - previous < firstNs - sentNs) NoteArrivalGap(timing, firstNs - previous);
}
