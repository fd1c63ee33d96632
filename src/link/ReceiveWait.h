#pragma once
// Waiting for the controller without burning a core: the thread sleeps in a
// local event loop, woken by readyRead or by a precise deadline timer, so the
// window keeps repainting and a reply is seen within a fraction of a millisecond.

#include <QElapsedTimer>
#include <QtGlobal>

class SerialPort;

// Whether the pauses inside a reply are the line's: only in a reply the
// controller sends at once. While it works on a command (an erase) it may
// answer in pieces, and that pause is its own.
enum class ReplyGaps { Learn, Ignore };

// Returns once at least `count` bytes wait, `limitMs` have passed since `start`,
// or the port went away (and came back, when the port has a comeback: the
// caller then sends again what it had sent). With ReplyGaps::Learn the pauses between arrivals
// before the count is reached go into the port's timing.
void WaitForBytes(SerialPort &port, qint64 count, const QElapsedTimer &start, qint64 limitMs, ReplyGaps gaps);

// Takes into the port what the driver holds and no read has taken yet, as
// after a pause that did not yield.
void TakeInLateInput(SerialPort &port);

// Returns once no byte has arrived for `quietNs`, `limitMs` have passed since
// `start`, or the port went away. The time it took counts as settling.
void WaitForQuiet(SerialPort &port, qint64 quietNs, const QElapsedTimer &start, qint64 limitMs);
