#pragma once
// Which device a port number means, and how a chosen device is found again:
// by its /dev/serial/by-id link, whatever name the system gave it since.

#include <QList>
#include <QString>

#include <functional>

// One serial device as the system lists it.
struct PortEntry {
  QString Device;  // "/dev/ttyUSB0"; "COM3" on Windows
  QString Description;
  QString Manufacturer;  // USB adapters only
  QString SerialNumber;  // USB adapters only
};

// Where the system's devices and their stable links are looked up. Tests fill
// it with pseudo-terminals and links of their own.
struct PortSource {
  std::function<QList<PortEntry>()> List;  // unset: the devices Qt finds
  QString ByIdFolder = QStringLiteral("/dev/serial/by-id");
};
PortSource &SystemPortSource();

// Digits compare as numbers: "ttyUSB2" before "ttyUSB10".
bool NaturalLess(const QString &a, const QString &b);

// The system's serial devices, in natural order of their paths.
QList<PortEntry> SystemPorts();

// Device behind port number n: COMn on Windows; elsewhere the n-th entry of
// CALVENORI_PORTS when set, else the n-th of SystemPorts(). Empty when none.
QString PortDeviceName(int portNumber);

// Every number that names a device now, ascending, with what the system tells
// of the device: what PortDeviceName(n) would open for each n.
struct NumberedPort {
  int Number = 0;
  PortEntry Entry;
};
QList<NumberedPort> KnownPorts();

// What the system tells of a device; only Device is set when it tells nothing.
PortEntry PortInfo(const QString &device);

// What names the device for as long as it stays plugged in: its by-id link
// where it has one, else the device itself.
QString PortIdentity(const QString &device);

// The device file to open for a device or one of its links; empty when the
// device is not there (unplugged).
QString PresentDevice(const QString &device);

// The device exists but this user may neither read nor write it.
bool AccessDenied(const QString &device);
