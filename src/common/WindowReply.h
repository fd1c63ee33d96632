#pragma once

#include <QByteArray>
#include <QtGlobal>

// What one window request got back. Only a data reply and an acknowledgement
// are successes; the rest say why the request failed.
enum class ReplyKind {
  Data,                     // the window's value, perhaps empty
  Acknowledged,             // a write was taken
  NegativeAcknowledgement,  // NAK: the request was not taken
  ErrorCode,                // a status reply with an error code, known or not
  Malformed,                // a frame too short for a value, one that never ends, or none at all
  TimedOut,                 // a byte failed to come within 0.5 s; what came is dropped
};

// Result of one window request. Text holds the controller's bytes one per
// character (Latin-1), so 0x80..0xFF survive unchanged; for anything but data
// it holds the words messages and the backup file give the outcome ("ACK",
// "#TIMEOUT#", "UNKNOWN WINDOW", ...). Judge a reply by its kind, never by
// its text: a window may hold the text "ACK".
struct WindowReply {
  ReplyKind Kind = ReplyKind::TimedOut;
  QByteArray Text;

  bool Failed() const { return Kind != ReplyKind::Data && Kind != ReplyKind::Acknowledged; }
};

// True for the texts a failed window request gives (time-out, refusals,
// malformed frames), as they stand in place of a value in a backup.
bool IsFailureText(const QByteArray &text);
