#include "FirstContact.h"

#include "WindowProtocol.h"

bool IsApplicationFrame(const WindowReply &reply) {
  // An error code is a frame of the application all the same; silence, or
  // bytes that never made a frame, are not.
  return reply.Kind != ReplyKind::TimedOut && reply.Text != "NO REPLY FRAME";
}

FirstContact MakeFirstContact(SerialPort &port) {
  FirstContact contact;
  contact.Reply = ReadWindow(port, FirstIdWindow);
  contact.Application = IsApplicationFrame(contact.Reply);
  if (!contact.Application && !port.Ended()) contact.Answer = AskWhatAnswers(port);
  return contact;
}

QString AnswererWords(const FirstContact &contact) {
  if (contact.Application) return QStringLiteral("the application");
  switch (contact.Answer.Who) {
    case Answerer::BootMonitor:
      return "its boot monitor (dialect " + contact.Answer.Dialect->Name() + ")";
    case Answerer::ParameterMonitor: return QStringLiteral("its parameter monitor");
    case Answerer::Nothing: break;
  }
  return QStringLiteral("nothing");
}
