#pragma once
// The application's checksummed window protocol. Nothing here shows a
// message; outcomes come back as values.

#include "SerialPort.h"
#include "WindowReply.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// Logic windows the upload sets to 1: the first hands the line to the
// application's parameter monitor, the second locks the controller.
constexpr int MonitorModeWindow = 500;
constexpr int LockWindow = 501;

// A controller that answers a read with nothing at all is asked this many
// times (half a second each) before anyone asks what answers instead.
constexpr int SilentReadAttempts = 3;

// Two upper-case hex digits: XOR of every byte after the leading STX.
QByteArray FrameChecksum(const QByteArray &frame);

// One read request; the reply unchanged.
WindowReply ReadWindow(SerialPort &port, int window);

// How a write ended.
struct WriteResult {
  // Acknowledged; also an empty "A" value, which sends nothing.
  bool Written = false;
  // The last attempt's reply; none when nothing was sent.
  std::optional<ReplyKind> LastReply;
  // Some byte came from the line during the write, if only stale input thrown
  // away. Not written and not answered: the controller was silent, or the
  // frame was beyond the protocol and never sent.
  bool Answered = false;

  explicit operator bool() const { return Written; }
};

// Up to three attempts, until one is acknowledged; not written when all fail
// or the frame is beyond the protocol: the write was refused. An empty "A"
// value sends nothing and is written.
WriteResult WriteWindow(SerialPort &port, int window, const QByteArray &dataType, const QByteArray &value);
WriteResult WriteWindow(SerialPort &port, int window, const QByteArray &dataType, qint64 value);

// The request frames, checksum included; exposed for tests and the simulator.
QByteArray ReadRequestFrame(int window);
// Empty when the value is empty for "A" or the frame would exceed the protocol's 254 bytes.
QByteArray WriteRequestFrame(int window, const QByteArray &dataType, const QByteArray &value);
