#include "PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

QList<PortEntry> QtPorts() {
  QList<PortEntry> ports;
  for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
    const QString device = info.portName();
#else
    const QString device = info.systemLocation();
#endif
    ports.append({device, info.description(), info.manufacturer(), info.serialNumber()});
  }
  return ports;
}

bool SameDevice(const QString &a, const QString &b) {
  if (a == b) return true;
#ifdef Q_OS_WIN
  return false;
#else
  const QString real = PresentDevice(a);
  return !real.isEmpty() && real == PresentDevice(b);
#endif
}

// A run of digits starting at i, as a number that cannot overflow: leading
// zeros dropped, compared by length first.
QStringView DigitRun(const QString &s, qsizetype &i) {
  const qsizetype start = i;
  while (i < s.size() && s[i].isDigit()) ++i;
  QStringView run = QStringView(s).mid(start, i - start);
  while (run.size() > 1 && run.front() == u'0') run = run.mid(1);
  return run;
}

}  // namespace

PortSource &SystemPortSource() {
  static PortSource source;
  return source;
}

bool NaturalLess(const QString &a, const QString &b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      const QStringView x = DigitRun(a, i), y = DigitRun(b, j);
      if (x.size() != y.size()) return x.size() < y.size();
      if (const int c = x.compare(y); c != 0) return c < 0;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i, ++j;
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;  // "ttyS01" and "ttyS1" still get one fixed order
}

QList<PortEntry> SystemPorts() {
  const PortSource &source = SystemPortSource();
  QList<PortEntry> ports = source.List ? source.List() : QtPorts();
  std::sort(ports.begin(), ports.end(),
            [](const PortEntry &x, const PortEntry &y) { return NaturalLess(x.Device, y.Device); });
  return ports;
}

QString PortDeviceName(int portNumber) {
  if (portNumber < 1) return {};
#ifdef Q_OS_WIN
  return QStringLiteral("COM%1").arg(portNumber);
#else
  const QByteArray listed = qgetenv("CALVENORI_PORTS");
  if (!listed.isNull()) {
    const QStringList paths = QString::fromLocal8Bit(listed).split(',');
    return portNumber <= paths.size() ? paths[portNumber - 1].trimmed() : QString();
  }
  const QList<PortEntry> ports = SystemPorts();
  return portNumber <= ports.size() ? ports[portNumber - 1].Device : QString();
#endif
}

QList<NumberedPort> KnownPorts() {
  QList<NumberedPort> known;
#ifdef Q_OS_WIN
  for (const PortEntry &entry : SystemPorts()) {
    bool ok = false;
    const int number = entry.Device.startsWith("COM", Qt::CaseInsensitive) ? entry.Device.mid(3).toInt(&ok) : 0;
    if (ok && number > 0) known.append({number, entry});
  }
  std::sort(known.begin(), known.end(), [](const NumberedPort &x, const NumberedPort &y) { return x.Number < y.Number; });
#else
  const QByteArray listed = qgetenv("CALVENORI_PORTS");
  if (listed.isNull()) {
    const QList<PortEntry> ports = SystemPorts();
    for (int i = 0; i < ports.size(); ++i) known.append({i + 1, ports[i]});
    return known;
  }
  const QStringList paths = QString::fromLocal8Bit(listed).split(',');
  for (int i = 0; i < paths.size(); ++i)
    if (!paths[i].trimmed().isEmpty()) known.append({i + 1, PortInfo(paths[i].trimmed())});
#endif
  return known;
}

PortEntry PortInfo(const QString &device) {
  for (const PortEntry &entry : SystemPorts())
    if (SameDevice(entry.Device, device)) return entry;
  return {device, {}, {}, {}};
}

QString PortIdentity(const QString &device) {
#ifndef Q_OS_WIN
  const QDir byId(SystemPortSource().ByIdFolder);
  for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name))
    if (link.isSymLink() && SameDevice(link.absoluteFilePath(), device)) return link.absoluteFilePath();
#endif
  return device;
}

QString PresentDevice(const QString &device) {
#ifdef Q_OS_WIN
  return device;
#else
  return QFileInfo(device).canonicalFilePath();
#endif
}

bool AccessDenied(const QString &device) {
#ifdef Q_OS_WIN
  // Windows says "access denied" for a port another program holds.
  Q_UNUSED(device);
  return false;
#else
  const QString present = PresentDevice(device);
  if (present.isEmpty()) return false;
  // As the process's effective (file system) identity, which is what open() checks.
  return ::faccessat(AT_FDCWD, QFile::encodeName(present).constData(), R_OK | W_OK, AT_EACCESS) != 0 &&
         errno == EACCES;
#endif
}
