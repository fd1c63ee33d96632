#include "PortSearch.h"

#include "SerialPort.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
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

// Probes cut off by the time limit go on until their open or first contact
// returns. The application waits a little for them when it ends, so that
// none is left running, or undeleted, as it goes.
constexpr int StragglerWaitMs = 3000;

static std::vector<QPointer<QThread>> &Stragglers() {
  static std::vector<QPointer<QThread>> stragglers;
  return stragglers;
}

static void JoinStragglers() {
  const QDeadlineTimer deadline(StragglerWaitMs);
  for (const QPointer<QThread> &thread : Stragglers())
    if (thread && thread->wait(deadline)) delete thread.data();
  Stragglers().clear();
}

static void KeepStraggler(QThread *thread) {
  std::vector<QPointer<QThread>> &stragglers = Stragglers();
  if (stragglers.empty()) qAddPostRoutine(JoinStragglers);
  stragglers.erase(std::remove(stragglers.begin(), stragglers.end(), nullptr), stragglers.end());
  stragglers.emplace_back(thread);
}

// A finished probe is deleted here and now: its deleteLater would wait for an
// event loop the caller may never run again.
static void ReleaseThreads(const std::vector<QPointer<QThread>> &threads) {
  for (const QPointer<QThread> &thread : threads) {
    if (!thread) continue;
    if (!thread->isFinished()) {
      KeepStraggler(thread);
      continue;
    }
    thread->wait();
    delete thread.data();
  }
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
  std::vector<QPointer<QThread>> threads;
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
    threads.emplace_back(thread);
    thread->start();
  }
  QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
  if (running > 0) loop.exec();
  loop_ = nullptr;
  ReleaseThreads(threads);
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
