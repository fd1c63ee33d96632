// What only a finish does: a first look at what answers, which decides how
// the controller is brought to the stage the attempt left undone.
#include "UploadRun.h"

#include "FirstContact.h"
#include "KeptBackups.h"
#include "MonitorMode.h"
#include "UploadTexts.h"
#include "WindowProtocol.h"

namespace {

const QString CR = QStringLiteral("\r");

// An application that answers with values must hold those of the controller
// being finished; blank ones are an erased controller's, whose numbers the
// technician was shown before anything went out.
Ending SameController(Upload &up) {
  const WindowReply part = ReadWindow(up.port, 319), serial = ReadWindow(up.port, 323);
  if (auto ended = LinkEnded(up)) return ended;
  const QByteArray wantedPart = up.rows[ControllerPartNumberRow].Value, wantedSerial = up.rows[ControllerSerialNumberRow].Value;
  if (part.Failed() || serial.Failed())
    return EndSaying(up, NumbersUnreadText(up.host.PortName()), QStringLiteral("refused: the controller's numbers cannot be read"));
  const bool erased = IsBlankValue(part.Text) && IsBlankValue(serial.Text);
  if (erased || (part.Text == wantedPart && serial.Text == wantedSerial)) return std::nullopt;
  return EndSaying(up,
                   OtherControllerText(up.host.PortName(), part.Text, serial.Text, up.finish->Attempt, wantedPart,
                                       wantedSerial),
                   "refused: another controller answers (Controller S/N " + QString::fromLatin1(serial.Text) + ")");
}

bool BootMonitorAnswered(const Upload &up) { return up.contact.Answer.Who == Answerer::BootMonitor; }

}  // namespace

// A finish begins as any look at a controller does, with the harmless read of
// window 310 and lone CRs when no frame answers it.
Ending ContactForFinish(Upload &up) {
  up.progress.Begin(Step::Identifying, {Shown, Repainted});
  up.contact = MakeFirstContact(up.port);
  if (auto ended = LinkEnded(up)) return ended;
  if (!up.contact.AnythingAnswered())
    return EndWithMessage(up, NotAnswering(up.host) + CR + InterruptionSentence(), "interrupted: nothing answers");
  return up.contact.Application ? SameController(up) : std::nullopt;
}

Ending ReachParameterMonitor(Upload &up) {
  if (up.contact.Application) return EnterMonitor(up);
  if (BootMonitorAnswered(up))
    if (auto ended = Unbridge(up)) return ended;
  return CheckInMonitor(up);
}

Ending ReachApplication(Upload &up) {
  if (up.contact.Application) return std::nullopt;
  if (BootMonitorAnswered(up)) {
    if (auto ended = Unbridge(up)) return ended;
    if (!ConfirmMonitorMode(up.port)) return LinkEnded(up);
  }
  return LeaveMonitor(up);
}
