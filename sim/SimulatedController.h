#pragma once
// The simulated pump controller on the master side of a pseudo-terminal, or
// on a serial port (SetDevice).
//
// Start() opens a raw pty pair (or the port) and starts a thread that reads
// what the tool writes to the slave (SlavePath()), feeds it to the
// ControllerModel and writes the answers back, honouring each Output's delay
// and, when paced, the time a real 9600 8N1 line needs per byte (10 bits:
// about 1.0417 ms), on absolute times so that nothing drifts. The slave
// descriptor stays open in the simulator, so the tool may close and reopen
// the port at will.
//
// Every method is thread-safe. A fresh controller is powered on in the
// application with a program, a parameter set and realistic identification
// windows in place.

#include "ControllerModel.h"
#include "LineDelivery.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace sim {

class ControllerLine;

class SimulatedController {
 public:
  explicit SimulatedController(Dialect dialect = Dialect::E);
  ~SimulatedController();  // stops the thread, closes the pty
  SimulatedController(const SimulatedController &) = delete;
  SimulatedController &operator=(const SimulatedController &) = delete;

  // Opens the pty and starts the thread. True when running (also when it
  // already was). After a hang-up, a new Start opens a new pty (new path).
  bool Start(QString *error = nullptr);
  // Serve the serial port `device` ("/dev/ttyUSB0", "COM5") from the next
  // Start on, instead of a pty: the only line on a system without ptys.
  void SetDevice(const QString &device) { device_ = device; }
  QString SlavePath() const;  // the pty's slave, or the port served
  bool Running() const;

  // Pace every sent byte like 9600 8N1. Off by default.
  void SetPaced(bool paced);
  bool Paced() const;

  // How the sent bytes reach the tool (LineDelivery.h); even by default.
  // Applies to the paced schedule when paced, else to the moment of sending.
  void SetDelivery(const LineDelivery &delivery);
  LineDelivery Delivery() const;

  // The technician's hands.
  void PowerOff();  // also drops whatever was still to be sent
  void PowerOn();
  void PowerCycle() { PowerOff(); PowerOn(); }
  void SetBridge(bool bridged);
  bool Bridged() const;
  Mode CurrentMode() const;
  void SetMode(Mode mode);  // jump straight into a mode, e.g. the boot monitor
  void SetDialect(Dialect dialect);
  Dialect CurrentDialect() const;
  void SetProgrammed(bool programmed);  // factory program + parameter set, or blank

  // Closes the master (and the simulator's slave): the tool's port sees the
  // line go away. Returns when done. The controller stays unreachable until
  // the next Start().
  void HangUp();

  // Examination and set-up.
  QByteArray Received() const;
  QByteArray Sent() const;  // every byte written to the line
  void ClearReceived();  // also clears Sent() and the command and request lists
  QList<QByteArray> MonitorCommands() const;
  QList<QByteArray> WindowRequests() const;
  std::map<quint32, quint8> Flash() const;
  std::map<quint16, quint8> ParameterMemory() const;
  void SetParameterByte(quint16 address, quint8 value);
  bool ParameterSetPresent() const;
  QByteArray Window(int win) const;
  void SetWindow(int win, const QByteArray &value);
  bool Locked() const;
  std::optional<quint32> LastCrc() const;
  void SetFaults(const Faults &faults);
  Faults CurrentFaults() const;
  void SetPromptLength(int bytes);

  qint64 BytesSent() const;      // bytes actually written to the line
  qint64 BytesReceived() const;
  qint64 AddedDelayMs() const;   // total deliberate delay (Output::DelayMs) added so far

  // Direct access to the model under the lock, for anything not covered above.
  template <typename F>
  auto WithModel(F &&f) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(model_);
  }
  template <typename F>
  auto WithModel(F &&f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(model_);
  }

 private:
  friend class ControllerLine;  // the thread and its pty or port (ControllerLine.h)

  void StopLine();
  void RecordSent(const QByteArray &bytes);

  mutable std::mutex mutex_;  // guards model_ and the counters below
  ControllerModel model_;
  std::atomic<bool> paced_{false};
  std::atomic<int> deliveryKind_{int(DeliveryKind::Even)};
  std::atomic<int> latencyMs_{16};
  std::atomic<qint64> bytesSent_{0};
  std::atomic<qint64> addedDelayMs_{0};
  std::atomic<quint64> powerGeneration_{0};  // raised by PowerOff: pending output is dropped
  QByteArray sent_;  // guarded by mutex_
  std::unique_ptr<ControllerLine> line_;
  QString device_;
  QString slavePath_;
};

}  // namespace sim
