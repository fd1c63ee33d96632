#pragma once
// The application's checksummed window protocol. Nothing here shows a
// message; outcomes come back as values.

#include "SerialPort.h"
#include "WindowReply.h"

#include <QByteArray>
#include <QtGlobal>

// Logic windows the upload sets to 1: the first hands the line to the
// application's parameter monitor, the second locks the controller.
constexpr int MonitorModeWindow = 500;
constexpr int LockWindow = 501;

// Two upper-case hex digits: XOR of every byte after the leading STX.
QByteArray FrameChecksum(const QByteArray &frame);

// One read request; the reply unchanged.
WindowReply ReadWindow(SerialPort &port, qint16 window);

// Up to three attempts, judged by "ACK" alone; false when all fail or the
// frame is beyond the protocol: the write was refused. An empty "A" value
// sends nothing and succeeds.
bool WriteWindow(SerialPort &port, qint16 window, const QByteArray &dataType, const QByteArray &value);
bool WriteWindow(SerialPort &port, qint16 window, const QByteArray &dataType, qint64 value);

// The request frames, checksum included; exposed for tests and the simulator.
QByteArray ReadRequestFrame(qint16 window);
// Empty when the value is empty for "A" or the frame would exceed the protocol's 254 bytes.
QByteArray WriteRequestFrame(qint16 window, const QByteArray &dataType, const QByteArray &value);
