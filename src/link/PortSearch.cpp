#include "PortSearch.h"

#include "SerialPort.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <mutex>

#include <memory>
#include <vector>

PortFinding ProbePort(int number, const QString &device) {
  PortFinding finding{number, device, false, false, {}};
  SerialPort port;  // made, used and destroyed in this thread, as Qt requires
  port.SetDevice(device);
  port.SetSettings(QStringLiteral("9600,N,8,1"));
  if (!port.Open()) return finding;
  finding.Opened = true;
  finding.Contact = MakeFirstContact(port);
  port.Close();
  return finding;
}

QList<PortFinding> PortSearch::Run(const QList<NumberedPort> &ports, int limitMs) {
  // Shared with the threads, which may outlive this call.
  struct Shared {
    std::mutex Lock;
    QList<PortFinding> Findings;
    QList<bool> Done;
  };
  auto shared = std::make_shared<Shared>();
  for (const NumberedPort &port : ports) {
    PortFinding waiting{port.Number, port.Entry.Device, false, true, {}};
    shared->Findings << waiting;
    shared->Done << false;
  }
  QEventLoop loop;
  loop_ = &loop;
  int running = int(ports.size());
  for (qsizetype i = 0; i < ports.size(); ++i) {
    const NumberedPort port = ports[i];
    QThread *thread = QThread::create([port, shared, i] {
      const PortFinding finding = ProbePort(port.Number, port.Entry.Device);
      const std::lock_guard<std::mutex> lock(shared->Lock);
      shared->Findings[i] = finding;
      shared->Done[i] = true;
    });
    QObject::connect(thread, &QThread::finished, &loop, [&running, &loop] {
      if (--running == 0) loop.quit();
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
  }
  QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
  if (running > 0) loop.exec();
  loop_ = nullptr;
  const std::lock_guard<std::mutex> lock(shared->Lock);
  return shared->Findings;
}

void PortSearch::Cancel() {
  if (loop_) loop_->quit();
}

QList<PortFinding> SearchPorts(const QList<NumberedPort> &ports, int limitMs) { return PortSearch().Run(ports, limitMs); }

QString FindingsText(const QList<PortFinding> &findings) {
  QStringList lines;
  for (const PortFinding &f : findings)
    lines << QStringLiteral("  %1  %2  %3")
                 .arg(f.Number, 3)
                 .arg(f.Device, f.TimedOut ? QStringLiteral("did not answer in time")
                                : f.Opened ? AnswererWords(f.Contact) + " answers"
                                           : QStringLiteral("does not open"));
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
