#pragma once
// The first thing said to a controller whose state is not known: the read of
// window 310, which every state takes harmlessly, and, when no frame answers
// it, lone CRs to tell which monitor (if any) is there. Nothing else may go
// out before the application has answered.

#include "LineAnswer.h"
#include "SerialPort.h"
#include "WindowReply.h"

struct FirstContact {
  bool Application = false;  // a frame answered the read of window 310
  WindowReply Reply;         // that read's reply
  LineAnswer Answer;         // who answered the CRs when the application did not
  bool AnythingAnswered() const { return Application || Answer.Who != Answerer::Nothing; }
};

// The first identification window.
constexpr qint16 FirstIdWindow = 310;

// The application answered `reply` with a frame (data or an error code), as
// opposed to leaving the read to time out.
bool IsApplicationFrame(const WindowReply &reply);

FirstContact MakeFirstContact(SerialPort &port);

// "the application", "its boot monitor (dialect Er)", "a monitor", "nothing".
QString AnswererWords(const FirstContact &contact);
