#pragma once
// Timed receive primitives and the boot monitor's plain-text exchanges.
// Nothing here shows a message; outcomes come back as values.

#include "SerialPort.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <optional>

// Longest a reply may keep us waiting for its next byte.
constexpr int ReplyWaitMs = 500;

// Next received byte, or none when none came within 0.5 s.
// The caller has set read mode 1.
std::optional<quint8> ReadByte(SerialPort &port);

// Discards waiting input, sends `text`, and returns what has arrived once the
// first byte of an answer is there (empty after 0.5 s of silence).
QByteArray MonitorExchange(SerialPort &port, const QByteArray &text);

// Same, but returns once at least `count` bytes are there, or after 0.5 s.
// The answer may come in pieces while the controller works (an erase): its
// pauses teach the port's timing nothing.
QByteArray MonitorExchangeCount(SerialPort &port, const QByteArray &text, int count);

// Same, but returns once `complete` holds for what has arrived (asked after
// every arrival), or after 0.5 s with whatever came.
QByteArray MonitorExchangeUntil(SerialPort &port, const QByteArray &text,
                                const std::function<bool(const QByteArray &)> &complete);

// Whatever has arrived and not been read, without waiting: the late part of
// an answer, looked at before the next command discards it.
QByteArray TakeWaiting(SerialPort &port);

// Like MonitorExchangeCount, but once `count` bytes are there it also waits
// for the line to fall quiet for two character times, so that the tail of a
// longer answer is not left to be taken for the next answer. Same 0.5 s limit.
// Only for answers the controller sends at once (a read-back, the prompt to a
// lone CR): the pauses inside them are the line's, and its timing learns them.
QByteArray SettledExchange(SerialPort &port, const QByteArray &text, int count);
