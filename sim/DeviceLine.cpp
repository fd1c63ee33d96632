// The controller on a serial port: another adapter through a null-modem
// cable, or one end of a virtual null-modem pair (a linked pair of
// pseudo-terminals, say). The port is served by QSerialPort on a thread with
// an event loop of its own. The port's own driver paces the bytes it sends;
// the schedule only decides when each is handed to it. Windows has a line of
// its own (DeviceLineWindows.cpp).
#ifndef _WIN32

#include "ControllerLine.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QThread>
#include <QTimer>

#include <future>
#include <mutex>

namespace sim {

namespace {

class DeviceLine : public ControllerLine {
 public:
  DeviceLine(SimulatedController &owner, const QString &device) : ControllerLine(owner), device_(device) {}
  ~DeviceLine() override { Stop(); }

  bool Start(QString *error, QString *path) override;
  void Stop() override;
  void Wake() override { Post([this] { Pump(); }); }

 private:
  void Run(std::promise<QString> &opened);
  bool Open(QSerialPort &port, QString *error) const;
  void Read();
  void Pump();
  template <typename F>
  void Post(F &&f) {
    std::lock_guard<std::mutex> lock(contextMutex_);
    if (context_) QMetaObject::invokeMethod(context_, std::forward<F>(f), Qt::QueuedConnection);
  }

  const QString device_;
  std::unique_ptr<QThread> thread_;
  std::mutex contextMutex_;
  QObject *context_ = nullptr;  // lives on the line's thread while it runs; guarded by contextMutex_

  // Thread-owned.
  QSerialPort *port_ = nullptr;
  QTimer *timer_ = nullptr;
  QEventLoop *loop_ = nullptr;
};

bool DeviceLine::Start(QString *error, QString *path) {
  std::promise<QString> opened;
  std::future<QString> openError = opened.get_future();
  thread_.reset(QThread::create([this, &opened] { Run(opened); }));
  thread_->start();
  const QString why = openError.get();  // `opened` is answered before Run uses it no more
  if (!why.isEmpty()) {
    thread_->wait();
    finished_ = true;
    if (error) *error = why;
    return false;
  }
  *path = device_;
  return true;
}

void DeviceLine::Stop() {
  Post([this] { loop_->quit(); });
  if (thread_) thread_->wait();
  thread_.reset();
  finished_ = true;
}

bool DeviceLine::Open(QSerialPort &port, QString *error) const {
  port.setPortName(device_);
  const bool configured = port.open(QIODevice::ReadWrite) && port.setBaudRate(QSerialPort::Baud9600) &&
                          port.setDataBits(QSerialPort::Data8) && port.setParity(QSerialPort::NoParity) &&
                          port.setStopBits(QSerialPort::OneStop) && port.setFlowControl(QSerialPort::NoFlowControl);
  if (!configured) *error = QStringLiteral("cannot open %1: %2").arg(device_, port.errorString());
  return configured;
}

void DeviceLine::Run(std::promise<QString> &opened) {
  QSerialPort port;
  QString error;
  if (!Open(port, &error)) {
    opened.set_value(error);
    return;
  }
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QEventLoop loop;
  QObject context;
  port_ = &port;
  timer_ = &timer;
  loop_ = &loop;
  QObject::connect(&port, &QSerialPort::readyRead, &context, [this] { Read(); });
  QObject::connect(&timer, &QTimer::timeout, &context, [this] { Pump(); });
  // The adapter was pulled out, or the program holding the pair's other end
  // went (a pty then reads as an error, again and again): the line is gone.
  QObject::connect(&port, &QSerialPort::errorOccurred, &context, [&loop](QSerialPort::SerialPortError e) {
    if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError) loop.quit();
  });
  BeginSchedule();
  {
    std::lock_guard<std::mutex> lock(contextMutex_);
    context_ = &context;
  }
  opened.set_value(QString());
  loop.exec();
  {
    std::lock_guard<std::mutex> lock(contextMutex_);
    context_ = nullptr;
  }
  port.close();
  finished_ = true;
}

void DeviceLine::Read() {
  const QByteArray bytes = port_->readAll();
  if (bytes.isEmpty()) return;
  if (!Accept(bytes.constData(), bytes.size())) {  // the fault asks to hang up
    port_->close();
    loop_->quit();
    return;
  }
  Pump();
}

// Sends what is due and sleeps until the next byte is.
void DeviceLine::Pump() {
  DropOutputOfEarlierPower();
  WriteDue([this](const char *data, qint64 count) {
    const qint64 n = port_->write(data, count);
    return n < 0 ? Written{0, false, true} : Written{n};
  });
  const Due due = DueAt(Clock::now());
  if (!due.Next) return timer_->stop();
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due.Next - Clock::now());
  timer_->start(int(std::max<qint64>(0, wait.count())));
}

}  // namespace

std::unique_ptr<ControllerLine> MakeDeviceLine(SimulatedController &owner, const QString &device) {
  return std::make_unique<DeviceLine>(owner, device);
}

}  // namespace sim

#endif
