#pragma once

#include <QByteArray>
#include <QtGlobal>

// Result of one window request. Text holds the controller's bytes one per
// character (Latin-1), so 0x80..0xFF survive unchanged.
struct WindowReply {
  qint16 Status = -1;  // 0 acknowledged or data received, -1 failure
  QByteArray Text;
};
