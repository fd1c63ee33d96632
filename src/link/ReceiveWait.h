#pragma once
// Waiting for the controller without burning a core: the thread sleeps in a
// local event loop, woken by readyRead or by a precise deadline timer, so the
// window keeps repainting and a reply is seen within a fraction of a millisecond.

#include <QElapsedTimer>
#include <QtGlobal>

class SerialPort;

// Returns once at least `count` bytes wait, `limitMs` have passed since `start`,
// or the port went away. Pauses between arrivals before the count is reached
// lie inside the reply: the port's timing learns them.
void WaitForBytes(SerialPort &port, qint64 count, const QElapsedTimer &start, qint64 limitMs);

// Returns once no byte has arrived for `quietNs`, `limitMs` have passed since
// `start`, or the port went away. The time it took counts as settling.
void WaitForQuiet(SerialPort &port, qint64 quietNs, const QElapsedTimer &start, qint64 limitMs);
