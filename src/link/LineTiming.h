#pragma once
// What the link learns about how one line delivers replies. A USB converter
// hands bytes over in bursts on its latency timer, a UART when its FIFO fills
// or times out; between two bursts of one reply the line is quiet for longer
// than two character times. A settled exchange must not take such a pause for
// the reply's end, so its quiet time grows to the longest pause seen inside
// replies whose end is known and that the controller sends at once (window
// frames, read-backs, the prompt): a pause while it works on a command, an
// erase say, is its own time, not the line's. Lives with the port, from one
// open to the next.

#include <QtGlobal>

struct LineTiming {
  qint64 LongestGapNs = 0;     // longest pause inside a known reply sent at once
  qint64 SettledNs = 0;        // time spent settling so far (for the benchmark)
  qint64 LastFrameEndNs = -1;  // when the last window frame was complete (MonotonicNs)
};

// Never reached: a settled exchange's quiet stays well inside the 0.5 s limit.
constexpr qint64 MaxSettleQuietNs = 250'000'000;

void NoteArrivalGap(LineTiming &timing, qint64 gapNs);

qint64 MonotonicNs();

// Time as the line sees it: the monotonic clock less what this thread spent
// working (painting a window, say) while bytes waited in the driver. A gap
// measured on it is the line's pause, not the tool's.
qint64 LineClockNs();

// One window frame received: its request went out at `sentNs`, its first byte
// came at `firstNs`, its last at `lastNs`. A frame that arrived whole, in one
// burst, was held by the line; when its request followed the frame before at
// once, the two frames came on consecutive ticks of the line's timer, and the
// time between them is the pause a reply split across those ticks would have.
void NoteFrame(LineTiming &timing, qint64 sentNs, qint64 firstNs, qint64 lastNs, bool whole);

// Two character times of the line, or, once a longer gap has been seen, the
// longest gap and two character times more.
qint64 SettleQuietNs(const LineTiming &timing, qint32 baud);
