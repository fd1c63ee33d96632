#include "WindowReply.h"

bool IsFailureText(const QByteArray &text) {
  static const QByteArray whole[] = {"#TIMEOUT#",    "NACK",         "UNKNOWN WINDOW", "DATA TYPE ERROR",
                                     "OUT OF RANGE", "WIN DISABLED", "SHORT REPLY",    "REPLY TOO LONG",
                                     "NO REPLY FRAME"};
  for (const QByteArray &t : whole)
    if (text == t) return true;
  return (text.size() == 12 && text.startsWith("NACK CODE: ")) ||
         (text.size() == 15 && text.startsWith("UNKNOWN NACK :"));
}
