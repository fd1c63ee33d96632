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

 private:
  enum class State { Hunting, Collecting };
  bool Decide(const WindowReply &reply);

  State state_ = State::Hunting;
  QByteArray buffer_;
  int trailer_ = 0;
  int hunted_ = 0;
  WindowReply reply_;
};

// Classification of a complete frame, STX through the last checksum character.
WindowReply ClassifyReply(const QByteArray &frame);

