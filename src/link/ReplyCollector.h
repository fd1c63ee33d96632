#pragma once
// The byte-driven state machine that collects one reply frame of the window
// protocol, kept apart from the port so any byte stream can be fed to it.

#include "WindowReply.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

class ReplyCollector {
 public:
  // Takes the next byte, or none for a wait that timed out. Returns true once
  // the reply is decided; Reply() then holds it.
  bool Feed(std::optional<quint8> byte);
  const WindowReply &Reply() const { return reply_; }
  // A frame's start byte came: the controller's application answered, if
  // only in part.
  bool Begun() const { return state_ == State::Collecting || begun_; }
  // The frame as it came, STX to the last checksum character, once one ended
  // with its trailer; empty otherwise.
  const QByteArray &Frame() const { return frame_; }
  // What came of the frame: the whole frame, or as much as came before it was
  // given up on.
  QByteArray Heard() const { return frame_.isEmpty() ? buffer_ : frame_; }

 private:
  enum class State { Hunting, Collecting };
  bool Decide(const WindowReply &reply);

  State state_ = State::Hunting;
  QByteArray buffer_;
  int trailer_ = 0;
  int hunted_ = 0;
  bool begun_ = false;
  QByteArray frame_;
  WindowReply reply_;
};

// Classification of a complete frame, STX through the last checksum character.
WindowReply ClassifyReply(const QByteArray &frame);

// The frame's checksum characters are those of its bytes (either case).
bool ReplyChecksumRight(const QByteArray &frame);

