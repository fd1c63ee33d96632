#include "PortProbe.h"

#include <QSerialPortInfo>

#include "SerialPort.h"

QList<int> AvailablePorts(SerialPort &port) {
  QList<int> found;
  for (int number = 1; number <= ProbedPortCount; ++number) {
    port.SetPortNumber(number);
    if (!port.Open()) continue;  // missing or held by another program
    found << number;
    port.Close();
  }
  return found;
}

QString PortDescription(int portNumber) {
  const QString device = PortDeviceName(portNumber);
  if (device.isEmpty()) return QStringLiteral("No device is known as port %1").arg(portNumber);
  const QString description = QSerialPortInfo(device).description();
  return description.isEmpty() ? device : device + QStringLiteral(" - ") + description;
}

std::optional<qint16> ParsePortNumber(const QString &text) {
  bool ok = false;
  const int number = text.trimmed().toInt(&ok, 10);
  if (!ok || number < 1 || number > 255) return std::nullopt;
  return static_cast<qint16>(number);
}
