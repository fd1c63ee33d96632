#pragma once

#include <QtGlobal>

// Pauses the calling thread for PauseNs(seconds) on the monotonic clock.
// Handles no events while it lasts.
void Wait(double seconds);

// The length of that pause: none for 0 seconds or less (or not a number).
qint64 PauseNs(double seconds);
