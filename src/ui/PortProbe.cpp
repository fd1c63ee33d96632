#include "PortProbe.h"

#include "SerialPort.h"

namespace {

constexpr int ProbedPortCount = 16;
const QString CR = QStringLiteral("\r");

}  // namespace

ProbeResult ProbePorts(SerialPort &port) {
  ProbeResult result;
  for (int number = 1; number <= ProbedPortCount; ++number) {
    port.SetPortNumber(number);
    if (port.Open()) {
      result.Available << number;
      port.Close();
    } else if (AccessDenied(port.DeviceName())) {
      result.Denied << port.DeviceName();
    }
  }
  return result;
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

std::optional<qint16> ParsePortNumber(const QString &text) {
  bool ok = false;
  const int number = text.trimmed().toInt(&ok, 10);
  if (!ok || number < 1 || number > 255) return std::nullopt;
  return static_cast<qint16>(number);
}
