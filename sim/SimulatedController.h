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
#include "LineNoise.h"
#include "SRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
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
  // already was). After a hang-up, a new Start opens a new pty (new path);
  // during an unplug it plugs the line back in at once.
  bool Start(QString *error = nullptr);
  // Serve the serial port `device` ("/dev/ttyUSB0", "COM5") from the next
  // Start on, instead of a pty: the only line on a system without ptys.
  void SetDevice(const QString &device) { device_ = device; }
  QString SlavePath() const;  // the pty's slave (a new one after each unplug, its number maybe reused), or the port served
  bool Running() const;       // the line is up (not while unplugged)

  // Keeps `path` a symbolic link to the pty's slave, pointed anew when an
  // unplug brings a new pty (removed meanwhile, as a pulled adapter's device
  // goes) and removed with the controller; an empty path ends that. An earlier
  // symbolic link there is replaced, anything else left alone (false). Not on
  // Windows.
  bool SetLink(const QString &path, QString *error = nullptr);
  QString Link() const;

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

  // A USB adapter pulled out and plugged in again, the controller keeping its
  // power: the line goes away now as with HangUp() and comes back after `ms`
  // as a new pty behind the same link (SetLink), with flash, parameters,
  // windows, lock, mode and the monitors' half-read commands as they were;
  // what was still to be sent is dropped. Again while unplugged: back `ms`
  // from now. False (with the reason) on a serial port (SetDevice), whose
  // adapter only a hand can pull, and while the line is down for good.
  bool Unplug(int ms, QString *error = nullptr);
  // The same once `count` more bytes have come in from the tool (they are
  // still fed): a cut at a chosen exchange. Once; a count of 0 disarms it.
  bool UnplugAfterBytesReceived(qint64 count, int ms, QString *error = nullptr);
  bool Plugged() const;  // false from an unplug until the line is back
  bool LineGone() const;  // down and not coming back: never started, hung up, or a port gone
  int Unplugs() const;   // unplugs so far

  // Noise on the line (LineNoise.h): each byte the tool sends, before the
  // controller hears it, and each byte the controller sends, as it is
  // written, is lost or has one bit flipped with probability Rate. A byte
  // lost on its way to the tool still takes its time on a paced line (it was
  // on the wire; the tool missed it). Setting it seeds both directions anew.
  // A clean line (Rate 0, the default) changes nothing.
  void SetNoise(const LineNoise &noise);
  LineNoise Noise() const;
  // Every event since ClearReceived. Index: ToController, the byte's position
  // in what the tool sent; ToTool, its position in Sent().
  QList<NoiseEvent> NoiseEvents() const;
  // What noise made the controller do that no answer can show
  // (ControllerModel.h), since ClearReceived: never the tool's fault.
  int BlindSpotHits() const;
  int StrayCommands() const;
  int StrayRefused() const;
  bool InProgrammingMode() const;
  int ParameterBlindSpotHits() const;

  // Examination and set-up.
  QByteArray Received() const;   // what the controller heard: after the noise
  QByteArray Sent() const;       // what the controller sent, as it went onto the line: before the noise
  QByteArray Delivered() const;  // what of it reached the tool: after the noise
  // Also clears Sent(), Delivered(), the command and request lists, the noise
  // events and the blind-spot counts.
  void ClearReceived();
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

  qint64 BytesSent() const;      // bytes that went onto the line: Sent().size() since the start
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
  using Clock = std::chrono::steady_clock;

  bool StartLine(QString *error);  // lineMutex_ held
  void StopLine();                 // lineMutex_ held
  void StopPlugThread();
  void PlugBackIn();
  void ScheduleReplug(int ms);     // the line is going or gone; also from the line's thread
  void DropLink();                 // the line is gone for good; also from the line's thread
  // Noise and hearing, on the line's thread with mutex_ held.
  std::vector<Output> HearLocked(const char *data, qint64 size);

  mutable std::mutex mutex_;  // guards model_ and the records and noise below
  ControllerModel model_;
  QByteArray delivered_;
  QList<NoiseEvent> noiseEvents_;
  LineNoise noise_;
  std::atomic<bool> noisy_{false};  // Rate > 0: a clean line's writes need no lock for it
  NoiseStream toController_;
  NoiseStream toTool_;
  qint64 heardIndex_ = 0;    // bytes from the tool since ClearReceived, before the noise
  qint64 sentIndex_ = 0;     // Sent().size()
  bool lostBefore_ = false;  // the tool's last byte was lost
  SRecordSpans toolRecords_;
  qint64 wireIn_ = 0;        // bytes from the tool, ever
  qint64 wireInAtFaults_ = 0;
  qint64 unplugAtWireIn_ = -1;  // UnplugAfterBytesReceived: at this wireIn_ ...
  int unplugAfterMs_ = 0;       // ... for this long
  std::atomic<bool> paced_{false};
  std::atomic<int> deliveryKind_{int(DeliveryKind::Even)};
  std::atomic<int> latencyMs_{16};
  std::atomic<qint64> bytesSent_{0};
  std::atomic<qint64> addedDelayMs_{0};
  std::atomic<quint64> powerGeneration_{0};  // raised by PowerOff: pending output is dropped
  QByteArray sent_;  // guarded by mutex_

  // Never taken on the line's own thread; before plugMutex_ when both are.
  mutable std::mutex lineMutex_;
  std::unique_ptr<ControllerLine> line_;
  QString device_;
  QString slavePath_;  // guarded by mutex_

  mutable std::mutex plugMutex_;  // guards what follows
  std::condition_variable plugWake_;
  std::optional<Clock::time_point> replugAt_;  // set while unplugged
  bool plugStop_ = false;
  int unplugs_ = 0;
  QString link_;
  QString linkTarget_;  // what link_ names now
  std::thread plugThread_;  // started by the first unplug
};

}  // namespace sim
