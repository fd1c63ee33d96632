#include "PortComeback.h"

#include "FirstContact.h"
#include "UploadRun.h"
#include "UploadTexts.h"
#include "WindowProtocol.h"

#include <QEventLoop>
#include <QTimer>

namespace {

// A plug that keeps slipping out ends the upload rather than waiting without end.
constexpr int MostComebacks = 10;
constexpr int PollMs = 250;

struct Answerers {
  bool Application = false, BootMonitor = false, ParameterMonitor = false;
};

// Who may answer while `stage` runs: a stage that takes the controller from
// one state to another (a power cycle, the monitor entered) may find either.
Answerers ExpectedWhile(std::optional<Stage> stage) {
  if (!stage) return {true, true, true};  // a finish's first look
  switch (*stage) {
    case Stage::SaveIdentification:
    case Stage::WriteBackup:
    case Stage::RestoreIdentification:
    case Stage::Lock: return {true, false, false};
    case Stage::BridgeIntoBootMonitor: return {true, true, false};
    case Stage::ProgramController: return {false, true, false};
    case Stage::RemoveBridge: return {false, true, true};
    case Stage::EnterMonitor:
    case Stage::LeaveMonitor: return {true, false, true};
    case Stage::SendFullUploadCrc:
    case Stage::SendListCrc:
    case Stage::TransferParameters: return {false, false, true};
  }
  return {};
}

// The numbers read at the start, where they were, must answer again: a port
// given by its path may by now be another adapter on another pump. Blank
// ones are the erase's, as at a finish.
bool SameNumbers(Upload &up, QString &other) {
  for (const int row : {ControllerPartNumberRow, ControllerSerialNumberRow}) {
    const IdWindow &wanted = up.rows[row];
    if (wanted.Value.isEmpty() || wanted.ReadFailed) continue;
    const WindowReply now = ReadWindow(up.port, wanted.Win);
    if (now.Failed() || (now.Text != wanted.Value && !IsBlankValue(now.Text))) {
      other = QStringLiteral("another controller (window %1: %2)").arg(wanted.Win).arg(QString::fromLatin1(now.Text));
      return false;
    }
  }
  return true;
}

bool AsExpected(Upload &up, const FirstContact &contact, QString &other) {
  const Answerers expected = ExpectedWhile(up.running);
  if (contact.Application) return expected.Application && SameNumbers(up, other);
  switch (contact.Answer.Who) {
    case Answerer::BootMonitor:
      return expected.BootMonitor && (up.tag.isEmpty() || contact.Answer.Dialect->Tag == up.tag);
    case Answerer::ParameterMonitor: return expected.ParameterMonitor;
    case Answerer::Nothing: break;
  }
  return false;  // a controller without power, or another line
}

// The comeback itself: false, with the reason kept for the ending, when the
// port stays away, the technician gives up, or another state answers.
bool ComeBack(Upload &up) {
  const int seconds = up.host.PortWaitSeconds();
  // Once it did not come back as it was, the upload ends: no later step waits again.
  if (seconds <= 0 || !up.comebackEnd.isEmpty()) return false;
  if (++up.comebacks > MostComebacks) {
    up.comebackEnd = PortKeepsGoingText(MostComebacks);
    return false;
  }
  const QDeadlineTimer deadline(seconds * 1000);
  for (;;) {
    const bool back = up.host.WaitForPort(WaitingForPortText(up.host.PortName(), seconds), deadline,
                                          [&up] { return up.port.Reopen(); });
    if (!back) {
      if (!up.port.Stopped()) up.comebackEnd = deadline.hasExpired() ? PortNotBackText(seconds) : GaveUpOnPortText();
      return false;
    }
    const FirstContact contact = MakeFirstContact(up.port);
    if (up.port.Lost()) continue;  // gone again while asked
    QString other = AnswererWords(contact);
    if (AsExpected(up, contact, other)) return true;
    if (up.port.Lost()) continue;
    up.comebackEnd = PortBackOtherwiseText(other);
    up.port.Drop();
    return false;
  }
}

}  // namespace

ComebackOnLoss::ComebackOnLoss(Upload &up) : up_(up) {
  up_.port.SetComeback([this] { return ComeBack(up_); });
}

ComebackOnLoss::~ComebackOnLoss() { up_.port.SetComeback({}); }

bool PollUntil(const QDeadlineTimer &deadline, const std::function<bool()> &ready,
               const std::function<bool(int)> &carryOn) {
  for (;;) {
    if (ready()) return true;
    if (deadline.hasExpired() || !carryOn(int((deadline.remainingTime() + 999) / 1000))) return false;
    QEventLoop loop;
    QTimer::singleShot(int(qMin<qint64>(PollMs, deadline.remainingTime())), &loop, &QEventLoop::quit);
    loop.exec();
  }
}
