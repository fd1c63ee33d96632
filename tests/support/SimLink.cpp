#include "SimLink.h"

#include "ControllerLine.h"

#include <QDeadlineTimer>

#include <thread>

bool SimLink::Start(sim::Dialect dialect, bool paced) {
  Controller = std::make_unique<sim::SimulatedController>(dialect);
  Controller->SetPaced(paced);
  if (!Controller->Start(&Error)) return false;
  qputenv("CALVENORI_PORTS", Controller->SlavePath().toLocal8Bit());
  Port.SetPortNumber(1);
  Port.SetSettings(ControllerLineSettings);
  if (!Port.Open()) {
    Error = Port.ErrorString();
    return false;
  }
  return true;
}

bool WaitUntilSent(const sim::SimulatedController &controller, qint64 total) {
  const QDeadlineTimer deadline(10'000);
  while (controller.BytesSent() < total) {
    if (deadline.hasExpired()) return false;
    std::this_thread::yield();
  }
  return true;
}

QString Hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

QByteArray Unhex(const char *spaced) { return QByteArray::fromHex(QByteArray(spaced).replace(' ', "")); }

void SimLink::Reset(sim::Mode mode) {
  Controller->PowerOff();  // what an earlier case left to send is never sent
  Controller->SetFaults({});
  Controller->SetPaced(false);
  Controller->SetDelivery({});
  Controller->SetNoise({});  // nor its noise, nor an unplug it armed
  Controller->UnplugAfterBytesReceived(0, 0);
  Port.Timing() = LineTiming();  // what an earlier case's line taught is forgotten
  Controller->SetPromptLength(12);
  Controller->SetMode(mode);
  Controller->ClearReceived();
}
