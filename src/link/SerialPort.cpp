#include "SerialPort.h"

#include "LowLatency.h"

#include <QStringList>
#include <QtGlobal>

#ifndef Q_OS_WIN
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

// A hung-up line (adapter unplugged, other end closed) reads as end of file,
// which Qt reports as a plain read error; only the hang-up flag tells it apart
// from a passing one.
bool HungUp(QSerialPort &port) {
#ifdef Q_OS_WIN
  Q_UNUSED(port);
  return false;
#else
  pollfd line{int(port.handle()), POLLIN, 0};
  return ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
}

// Windows' error texts end in a full stop; the messages add their own.
QString WithoutFinalStop(QString text) {
  while (text.endsWith('.')) text.chop(1);
  return text;
}

}  // namespace

bool ParseLineSettings(const QString &text, LineSettings &out) {
  const QStringList parts = text.split(',');
  if (parts.size() != 4) return false;
  bool ok = false;
  LineSettings s;
  s.Baud = parts[0].trimmed().toInt(&ok);
  if (!ok || s.Baud <= 0) return false;

  const QString parity = parts[1].trimmed().toUpper();
  if (parity == "N") s.Parity = QSerialPort::NoParity;
  else if (parity == "E") s.Parity = QSerialPort::EvenParity;
  else if (parity == "O") s.Parity = QSerialPort::OddParity;
  else if (parity == "M") s.Parity = QSerialPort::MarkParity;
  else if (parity == "S") s.Parity = QSerialPort::SpaceParity;
  else return false;

  const int bits = parts[2].trimmed().toInt(&ok);
  if (!ok || bits < 5 || bits > 8) return false;
  s.DataBits = static_cast<QSerialPort::DataBits>(bits);

  const QString stop = parts[3].trimmed();
  if (stop == "1") s.StopBits = QSerialPort::OneStop;
  else if (stop == "1.5") s.StopBits = QSerialPort::OneAndHalfStop;
  else if (stop == "2") s.StopBits = QSerialPort::TwoStop;
  else return false;

  out = s;
  return true;
}

OpenFault ClassifyOpenFailure(QSerialPort::SerialPortError error, const QString &text, bool accessDenied) {
  if (error == QSerialPort::DeviceNotFoundError) return OpenFault::Missing;
  if (error != QSerialPort::PermissionError) return OpenFault::Other;
#ifdef Q_OS_WIN
  // Windows refuses a COM port that another program has open as "access
  // denied"; a COM port has no rights of its own users lack.
  Q_UNUSED(text);
  Q_UNUSED(accessDenied);
  return OpenFault::Held;
#else
  // Qt reports a lack of rights, a lock taken by another program and a line
  // another program opened exclusively all as a permission error; only its
  // text tells them apart. A missing right on the device is what the user
  // must fix first, whatever else stood in the way.
  if (accessDenied) return OpenFault::Denied;
  if (text == QSerialPort::tr("Permission error while locking the device") || text == qt_error_string(EBUSY))
    return OpenFault::Held;
  return OpenFault::Other;
#endif
}

SerialPort::SerialPort() {
  QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
    if (!port_.isOpen() || lost_) return;
    if (e == QSerialPort::ResourceError) lost_ = true;
    if (lost_ || (e == QSerialPort::ReadError && HungUp(port_))) trace_.Note("LOST", port_.errorString());
    if (e == QSerialPort::ReadError && HungUp(port_)) {
      lost_ = true;
      // Qt keeps reporting the hang-up on every pass of the event loop, which
      // spins the processor behind any message box; the device is gone, so
      // let go of it (later, not from inside Qt's own notification).
      QMetaObject::invokeMethod(&port_, [this] { if (lost_) port_.close(); }, Qt::QueuedConnection);
    }
  });
}

void SerialPort::SetPortNumber(int portNumber) {
  portNumber_ = portNumber;
  device_.clear();
}

bool SerialPort::SetSettings(const QString &text) {
  LineSettings parsed;
  if (!ParseLineSettings(text, parsed)) return false;
  settings_ = parsed;
  settingsText_ = text;
  return true;
}

QString SerialPort::DeviceName() const { return device_.isEmpty() ? PortDeviceName(portNumber_) : device_; }

bool SerialPort::Open() {
  Close();
  lost_ = false;
  stopped_ = false;
  cameBack_ = false;
  received_ = 0;
  repeats_ = {};
  timing_ = LineTiming();  // another device, another line
  fault_ = OpenFault::None;
  const QString device = DeviceName();
  if (!OpenDevice(device)) return false;
  // Setting modem lines or flow control on a pseudo-terminal fails with an
  // error that means nothing to us; forget it.
  port_.clearError();
  errorString_.clear();
  const QString heading = QStringLiteral("calvenori wire trace: port %1 (%2) %3").arg(portNumber_).arg(device).arg(settingsText_);
  if (!tracePath_.isEmpty() && !trace_.Open(tracePath_, heading, &errorString_)) {
    port_.close();
    return false;
  }
  // A converter otherwise holds replies back for its latency timer.
  flagsBeforeLowLatency_ = RequestLowLatency(port_);
  return true;
}

bool SerialPort::Refused(OpenFault fault, const QString &reason) {
  fault_ = fault;
  errorString_ = reason;
  return false;
}

bool SerialPort::OpenDevice(const QString &device) {
  if (device.isEmpty())
    return Refused(OpenFault::Missing, QStringLiteral("No serial device is known as port %1").arg(portNumber_));
  // The device itself rather than a link to it, so that Qt's lock names the
  // device whichever way it was reached.
  const QString present = PresentDevice(device);
  if (present.isEmpty()) return Refused(OpenFault::Missing, QStringLiteral("the device is not connected"));
  port_.setPortName(present);
  port_.setBaudRate(settings_.Baud);
  port_.setParity(settings_.Parity);
  port_.setDataBits(settings_.DataBits);
  port_.setStopBits(settings_.StopBits);
  if (port_.open(QIODevice::ReadWrite)) return true;
  // Windows names any COMn, plugged in or not; only the open tells.
  const OpenFault fault = ClassifyOpenFailure(port_.error(), port_.errorString(),
                                              port_.error() == QSerialPort::PermissionError && AccessDenied(present));
  return Refused(fault, fault == OpenFault::Missing ? QStringLiteral("the device is not connected")
                                                    : WithoutFinalStop(port_.errorString()));
}

void SerialPort::Close() {
  if (trace_.IsOpen()) TraceDiscard();  // what came after the last read
  trace_.Close();
  if (port_.isOpen() && flagsBeforeLowLatency_ && !lost_) RestoreLowLatency(port_, *flagsBeforeLowLatency_);
  flagsBeforeLowLatency_.reset();
  if (port_.isOpen()) port_.close();
}

bool SerialPort::Reopen() {
  if (port_.isOpen()) port_.close();
  flagsBeforeLowLatency_.reset();
  if (!OpenDevice(DeviceName())) return false;
  port_.clearError();
  errorString_.clear();
  fault_ = OpenFault::None;
  lost_ = false;
  trace_.Note("BACK", DeviceName());
  flagsBeforeLowLatency_ = RequestLowLatency(port_);
  return true;
}

void SerialPort::Drop() {
  lost_ = true;
  flagsBeforeLowLatency_.reset();
  if (port_.isOpen()) port_.close();
}

bool SerialPort::TryComeback() {
  if (!lost_ || stopped_ || comingBack_ || !comeback_) return false;
  comingBack_ = true;
  const bool back = comeback_();
  comingBack_ = false;
  cameBack_ = back && !Ended();
  // The exchange that was cut is made again: a repeat the line cost.
  if (cameBack_) repeats_.Exchanges += 1;
  return cameBack_;
}

bool SerialPort::IsOpen() const { return port_.isOpen(); }

void SerialPort::CountRepeats(int repeats, bool records) {
  repeats_.Exchanges += repeats;
  if (records) repeats_.Records += repeats;
}

qint64 SerialPort::BytesWaiting() const { return port_.isOpen() && !stopped_ ? port_.bytesAvailable() : 0; }

QByteArray SerialPort::Read() {
  if (!port_.isOpen() || stopped_) return {};
  const QByteArray bytes = readMode_ == 1 ? port_.read(1) : port_.readAll();
  received_ += bytes.size();
  trace_.Bytes('R', bytes);
  return bytes;
}

void SerialPort::Write(const QByteArray &bytes) {
  cameBack_ = false;
  if (!port_.isOpen() || Ended()) return;
  trace_.Bytes('W', bytes);
  port_.write(bytes);
  // Push the bytes to the system now rather than at the next event loop pass.
  port_.flush();
}

void SerialPort::DiscardInput() {
  if (!port_.isOpen() || stopped_) return;
  if (trace_.IsOpen()) TraceDiscard();
  received_ += port_.readAll().size();
  port_.clear(QSerialPort::Input);
}

// Bytes about to be thrown away are traced too, those the system holds
// included, so the trace shows everything the controller sent.
void SerialPort::TraceDiscard() {
  if (!port_.isOpen()) return;
  QByteArray dropped = port_.readAll();
#ifndef Q_OS_WIN
  char buffer[4096];
  for (ssize_t n; (n = ::read(int(port_.handle()), buffer, sizeof buffer)) > 0;) dropped.append(buffer, int(n));
#endif
  received_ += dropped.size();
  trace_.Bytes('D', dropped);
}
