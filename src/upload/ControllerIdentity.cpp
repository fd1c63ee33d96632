#include "ControllerIdentity.h"

#include "WindowProtocol.h"

namespace {

// The window whose "L" value locks the controller.

QString ValueShown(const IdWindow &row) {
  if (row.ReadFailed) return "(not read: " + QString::fromLatin1(row.Value) + ")";
  return QString::fromLatin1(row.Value);
}

}  // namespace

LockState LockStateOf(const WindowReply &reply) {
  if (reply.Failed()) return LockState::Unknown;
  if (reply.Text == "1") return LockState::Locked;
  if (reply.Text == "0") return LockState::Unlocked;
  return LockState::Unknown;
}

LockState ReadLockState(SerialPort &port) { return LockStateOf(ReadWindow(port, LockWindow)); }

bool LockController(SerialPort &port) { return WriteWindow(port, LockWindow, "L", qint64(1)).Written; }

QString LockStateWords(LockState lock) {
  switch (lock) {
    case LockState::Locked: return QStringLiteral("locked");
    case LockState::Unlocked: return QStringLiteral("unlocked");
    case LockState::Unknown: break;
  }
  return QStringLiteral("not known");
}

ControllerIdentity IdentifyController(SerialPort &port) {
  ControllerIdentity identity;
  identity.Contact = MakeFirstContact(port);
  if (!identity.Contact.Application) return identity;
  for (int r = 0; r < IdWindowCount; ++r) {
    IdWindow &row = identity.Rows[r];
    const WindowReply reply = r == 0 ? identity.Contact.Reply : ReadWindow(port, row.Win);
    row.Value = reply.Text;
    row.ReadFailed = reply.Failed();
  }
  identity.Lock = ReadLockState(port);
  return identity;
}

QString IdentityText(const ControllerIdentity &identity, const QString &portName) {
  QStringList lines{"Port: " + portName};
  if (!identity.Answered()) {
    lines << QStringLiteral("Nothing answers: check the cable and the controller's power.");
    return lines.join('\r');
  }
  if (!identity.Contact.Application) {
    lines << "The controller's application does not answer, " + AnswererWords(identity.Contact) + " does.";
    return lines.join('\r');
  }
  for (int r = 0; r < IdWindowCount; ++r)
    lines << QString::fromLatin1(IdWindowLabels[r]) + ":\t" + ValueShown(identity.Rows[r]);
  lines << "Lock (Win 501):\t" + LockStateWords(identity.Lock);
  return lines.join('\r');
}
