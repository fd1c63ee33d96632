#include "PortProbe.h"

#include "SerialPort.h"

#include <QPointer>
#include <QThread>

#include <algorithm>

namespace {

constexpr int ProbedPortCount = 16;
const QString CR = QStringLiteral("\r");

}  // namespace

OpenFault OpenAndClose(const QString &device) {
  SerialPort port;  // made, opened, closed and destroyed in the calling thread, as Qt requires
  port.SetDevice(device);
  if (!port.Open()) return port.Fault();
  port.Close();
  return OpenFault::None;
}

QMap<int, QString> ProbeCandidates() {
  QMap<int, QString> candidates;
  for (int number = 1; number <= ProbedPortCount; ++number)
    if (const QString device = PortDeviceName(number); !device.isEmpty()) candidates.insert(number, device);
  return candidates;
}

QThread *OpenInBackground(const PortOpener &opener, const QString &device, QObject *receiver,
                          std::function<void(OpenFault)> deliver) {
  QThread *thread = QThread::create([opener, device, target = QPointer<QObject>(receiver), deliver] {
    const OpenFault fault = opener(device);
    // Handed over through the thread's own object, which lives in the
    // receiver's thread and outlasts this function; whether the receiver is
    // still there is asked in its own thread only, never here.
    QMetaObject::invokeMethod(
        QThread::currentThread(), [target, deliver, fault] { if (target) deliver(fault); }, Qt::QueuedConnection);
  });
  QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start();
  return thread;
}

bool TakeAnswer(ProbeTally &tally, int number, OpenFault fault) {
  const auto pending = tally.Pending.find(number);
  if (pending == tally.Pending.end()) return false;
  if (fault == OpenFault::None)
    tally.Available.insert(std::lower_bound(tally.Available.begin(), tally.Available.end(), number), number);
  else if (fault == OpenFault::Denied)
    tally.Denied.insert(number, *pending);
  tally.Pending.erase(pending);
  return true;
}

void GiveUpOnPending(ProbeTally &tally) {
  tally.Silent.insert(tally.Pending);
  tally.Pending.clear();
}

int PreselectedIndex(const QList<int> &available, int deviceNumber, int comPort) {
  if (available.isEmpty()) return -1;
  for (const int wanted : {deviceNumber, comPort})
    if (const qsizetype index = available.indexOf(wanted); wanted > 0 && index >= 0) return int(index);
  return 0;
}

QString SilentPortsText(const QMap<int, QString> &silent, int limitMs) {
  if (silent.isEmpty()) return {};
  QStringList named;
  for (auto it = silent.cbegin(); it != silent.cend(); ++it)
    named << QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value());
  const QString seconds = QString::number(limitMs / 1000.0);
  if (silent.size() == 1)
    return QStringLiteral("Port %1 did not answer within %2 s and is not listed.").arg(named[0], seconds);
  return QStringLiteral("Ports %1 did not answer within %2 s and are not listed.").arg(named.join(", "), seconds);
}

QString PortDescription(int portNumber) {
  const QString device = PortDeviceName(portNumber);
  if (device.isEmpty()) return QStringLiteral("No device is known as port %1").arg(portNumber);
  const PortEntry info = PortInfo(device);
  QString text = info.Description.isEmpty() ? device : device + QStringLiteral(" - ") + info.Description;
  QStringList usb;
  if (!info.Manufacturer.isEmpty()) usb << info.Manufacturer;
  if (!info.SerialNumber.isEmpty()) usb << QStringLiteral("serial number ") + info.SerialNumber;
  if (!usb.isEmpty()) text += QStringLiteral("\n") + usb.join(QStringLiteral(", "));
  return text;
}

QString ChosenDeviceOf(int portNumber) {
  const QString device = PortDeviceName(portNumber);
  return device.isEmpty() ? QString() : PortIdentity(device);
}

int NumberOfDevice(const QList<int> &numbers, const QString &device) {
  const QString wanted = PresentDevice(device);
  if (wanted.isEmpty()) return 0;
  for (int number : numbers)
    if (PresentDevice(PortDeviceName(number)) == wanted) return number;
  return 0;
}

QString NoPortText(const QStringList &denied) {
  QString text = QStringLiteral("No COM Port available on this PC");
  if (denied.isEmpty()) return text;
  return text + CR + QStringLiteral("Serial ports were found (%1), but this user may not open them.").arg(denied.join(", ")) +
         CR + QStringLiteral("Add the user to the \"dialout\" group (sudo adduser $USER dialout), then log out and in again.");
}

std::optional<int> ParsePortNumber(const QString &text) {
  bool ok = false;
  const int number = text.trimmed().toInt(&ok, 10);
  if (!ok || number < 1 || number > 255) return std::nullopt;
  return number;
}
