#include "PortSearch.h"

#include "SerialPort.h"

#include <QEventLoop>
#include <QThread>

#include <memory>
#include <vector>

PortFinding ProbePort(int number, const QString &device) {
  PortFinding finding{number, device, false, {}};
  SerialPort port;  // made, used and destroyed in this thread, as Qt requires
  port.SetDevice(device);
  port.SetSettings(QStringLiteral("9600,N,8,1"));
  if (!port.Open()) return finding;
  finding.Opened = true;
  finding.Contact = MakeFirstContact(port);
  port.Close();
  return finding;
}

QList<PortFinding> SearchPorts(const QList<NumberedPort> &ports) {
  QList<PortFinding> findings(ports.size());
  std::vector<std::unique_ptr<QThread>> threads;
  QEventLoop loop;
  int running = 0;
  for (qsizetype i = 0; i < ports.size(); ++i) {
    const NumberedPort port = ports[i];
    PortFinding *slot = &findings[i];
    threads.emplace_back(QThread::create([port, slot] { *slot = ProbePort(port.Number, port.Entry.Device); }));
    QObject::connect(threads.back().get(), &QThread::finished, &loop, [&running, &loop] {
      if (--running == 0) loop.quit();
    });
  }
  running = int(threads.size());
  for (auto &thread : threads) thread->start();
  if (running > 0) loop.exec();
  for (auto &thread : threads) thread->wait();
  return findings;
}

QString FindingsText(const QList<PortFinding> &findings) {
  QStringList lines;
  for (const PortFinding &f : findings)
    lines << QStringLiteral("  %1  %2  %3")
                 .arg(f.Number, 3)
                 .arg(f.Device, f.Opened ? AnswererWords(f.Contact) + " answers" : QStringLiteral("does not open"));
  return lines.join('\r');
}

PortVerdict ChooseAnsweringPort(const QList<PortFinding> &findings) {
  QList<PortFinding> answered;
  for (const PortFinding &f : findings)
    if (f.Answered()) answered << f;
  if (answered.size() == 1) return {answered.first(), {}};
  QString refusal = answered.isEmpty()
                        ? QStringLiteral("No controller answers on any serial port known here.")
                        : QStringLiteral("Something answers on %1 serial ports, so none is taken.")
                              .arg(answered.size());
  if (findings.isEmpty()) return {std::nullopt, refusal + "\rNo serial port is known here."};
  return {std::nullopt, refusal + "\r" + FindingsText(findings)};
}
