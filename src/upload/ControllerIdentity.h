#pragma once
// What a controller is, read without changing it: the nine identification
// windows and the lock, or, when its application does not answer, what does.

#include "FirstContact.h"
#include "IdWindows.h"
#include "SerialPort.h"

#include <QString>

enum class LockState { Unknown, Unlocked, Locked };

struct ControllerIdentity {
  FirstContact Contact;
  IdBackup Rows = BlankBackup();  // read only when the application answered
  LockState Lock = LockState::Unknown;
  bool Answered() const { return Contact.AnythingAnswered(); }
};

// The first read of window 310 (and lone CRs when no frame answers it); only
// after the application has answered, the other eight windows and the lock.
ControllerIdentity IdentifyController(SerialPort &port);

// The lock window: "1" locked, "0" unlocked, anything else not known.
LockState ReadLockState(SerialPort &port);
LockState LockStateOf(const WindowReply &reply);
// Writes the lock; false when the controller refused it.
bool LockController(SerialPort &port);
QString LockStateWords(LockState lock);

// The identification as text for a service report: the port, what answers,
// the nine windows with their labels and the lock; lines joined by CR.
QString IdentityText(const ControllerIdentity &identity, const QString &portName);
