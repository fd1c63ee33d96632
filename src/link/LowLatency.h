#pragma once
// Asks a Linux serial driver to hand received bytes over at once rather than
// holding them for its own timer, and puts its flags back afterwards.

#include <optional>

class QSerialPort;

// The driver's flags as they were, to give back on close; nothing when the
// line already delivers at once or the driver refuses (a pseudo-terminal, some
// USB drivers). A refusal leaves the line as it was and is no failure.
std::optional<int> RequestLowLatency(QSerialPort &port);
void RestoreLowLatency(QSerialPort &port, int flagsBefore);

// The flags to set on close: those the driver holds now, with only the
// low-latency bit taken from before.
int RestoredSerialFlags(int flagsBefore, int flagsNow);
