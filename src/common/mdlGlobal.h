#pragma once
// Data shared by every part of the uploader for the whole run.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>

// Result of one window request. Text holds the controller's bytes one per
// character (Latin-1), so 0x80..0xFF survive unchanged.
struct WindowReply {
  qint16 Status = -1;  // 0 acknowledged or data received, -1 failure
  QByteArray Text;
};

// One identification window of the controller.
struct IdWindow {
  QByteArray Value;  // as last read from the controller; empty before the first backup
  QByteArray DataType;  // "N" or "A"
  qint16 Win = 0;
  // The last read failed and Value holds the link's failure text, not data.
  bool ReadFailed = false;
};

constexpr int IdWindowCount = 9;

// 0 or -1; -1 records a failure since the flag was last cleared.
extern qint16 ErrorFlag;

// The nine identification windows in read, log, show and write-back order.
extern std::array<IdWindow, IdWindowCount> IdWindows;

// Row titles for the backup file and the restore dialog.
extern const std::array<const char *, IdWindowCount> IdWindowLabels;

// Sets window numbers and type letters; values are left as they are.
void FillIdWindows();
