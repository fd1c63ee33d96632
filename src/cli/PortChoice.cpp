#include "PortChoice.h"

#include "PortList.h"
#include "SerialPort.h"
#include "UploadDriver.h"

#include <QStringList>

namespace {

const QString CR = QStringLiteral("\r");
constexpr int HighestPortNumber = 255;  // as the window's port dialog takes them

bool AllDigits(const QString &text) {
  if (text.isEmpty()) return false;
  for (const QChar c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

bool TakeNumber(const QString &digits, const QString &value, PortChoice &out, QString *error) {
  bool ok = false;
  const int number = digits.toInt(&ok);
  if (ok && number >= 1 && number <= HighestPortNumber) {
    out = {number, {}, false};
    return true;
  }
  *error = QStringLiteral("--port %1: port numbers go from 1 to %2").arg(value).arg(HighestPortNumber);
  return false;
}

QString PortRow(const NumberedPort &port) {
  QString row = QStringLiteral("  %1  %2").arg(port.Number, 3).arg(port.Entry.Device);
  if (!port.Entry.Description.isEmpty()) row += "  " + port.Entry.Description;
  if (!port.Entry.Manufacturer.isEmpty()) row += ", " + port.Entry.Manufacturer;
  if (!port.Entry.SerialNumber.isEmpty()) row += ", serial number " + port.Entry.SerialNumber;
  return row;
}

}  // namespace

bool ParsePortChoice(const QString &value, PortChoice &out, QString *error) {
  if (value == QLatin1String("auto")) {
    out = {1, {}, true};
    return true;
  }
  if (AllDigits(value)) return TakeNumber(value, value, out, error);
#ifdef Q_OS_WIN
  if (value.startsWith("COM", Qt::CaseInsensitive) && AllDigits(value.mid(3)))
    return TakeNumber(value.mid(3), value, out, error);
  *error = QStringLiteral("--port takes a port number (1, 2, ...) or COMn, not '%1'").arg(value);
  return false;
#else
  if (value.contains('/')) {
    out = {1, value, false};
    return true;
  }
  *error = QStringLiteral("--port takes a port number (1, 2, ...) or a device path such as /dev/ttyUSB0, not '%1'")
               .arg(value);
  return false;
#endif
}

QString PortChoiceName(const PortChoice &choice, const QString &device) {
  if (!choice.Device.isEmpty()) return "serial port " + choice.Device;
  return QStringLiteral("serial port %1 (%2)").arg(choice.Number).arg(device);
}

QString KnownPortsText() {
  const QList<NumberedPort> ports = KnownPorts();
#ifdef Q_OS_WIN
  const QString from;
#else
  const QString from = qEnvironmentVariableIsSet("CALVENORI_PORTS") ? QStringLiteral(" (from CALVENORI_PORTS)") : QString();
#endif
  if (ports.isEmpty()) return "No serial port is known here" + from + ".";
  QStringList lines{"The serial ports known here" + from + ":"};
  for (const NumberedPort &port : ports) lines << PortRow(port);
  return lines.join(CR);
}

QString PortChoiceFailure(const PortChoice &choice, const SerialPort &port, const QString &notStarted) {
  return PortChoiceFailure(choice, port.DeviceName(), port.ErrorString(), port.Fault(), notStarted);
}

QString PortChoiceFailure(const PortChoice &choice, const QString &device, const QString &reason, OpenFault fault,
                          const QString &notStarted) {
  const bool unknown = choice.Device.isEmpty() && device.isEmpty();
  QString text = unknown ? QStringLiteral("No serial device is known as port %1.").arg(choice.Number)
                         : "S" + PortChoiceName(choice, device).mid(1) + " could not be opened: " + reason + ".";
  text += CR + notStarted;
  if (unknown) return text + CR + KnownPortsText();
  const QString tip = OpenFaultTip(fault, {"give --port one of the ports known here", "give --port another port"});
  if (tip.isEmpty()) return text;
  return text + CR + tip + (fault == OpenFault::Missing ? CR + KnownPortsText() : QString());
}
