// The simulated controller behind its line (ControllerLine.h).

#include "SimulatedController.h"

#include "ControllerLine.h"

namespace sim {

// ---------------------------------------------------------------------------
// SimulatedController

SimulatedController::SimulatedController(Dialect dialect) : model_(dialect) {}

SimulatedController::~SimulatedController() { StopLine(); }

bool SimulatedController::Start(QString *error) {
  if (line_ && line_->Alive()) return true;
  StopLine();
  std::unique_ptr<ControllerLine> line;
  if (!device_.isEmpty())
    line = MakeDeviceLine(*this, device_);
  else if (!(line = MakePtyLine(*this))) {
    if (error) *error = QStringLiteral("this system has no pseudo-terminals: name a serial port to serve");
    return false;
  }
  QString path;
  if (!line->Start(error, &path)) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slavePath_ = path;
  }
  line_ = std::move(line);
  return true;
}

void SimulatedController::StopLine() {
  if (line_) line_->Stop();
  line_.reset();
}

QString SimulatedController::SlavePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slavePath_;
}

bool SimulatedController::Running() const { return line_ && line_->Alive(); }

void SimulatedController::HangUp() { StopLine(); }

void SimulatedController::SetPaced(bool paced) { paced_ = paced; }
bool SimulatedController::Paced() const { return paced_; }

void SimulatedController::SetDelivery(const LineDelivery &delivery) {
  latencyMs_ = qMax(1, delivery.LatencyMs);
  deliveryKind_ = int(delivery.Kind);
  if (line_) line_->Wake();
}

LineDelivery SimulatedController::Delivery() const {
  return LineDelivery{DeliveryKind(deliveryKind_.load()), latencyMs_.load()};
}

void SimulatedController::PowerOff() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.PowerOff();
    ++powerGeneration_;
  }
  if (line_) line_->Wake();
}

void SimulatedController::PowerOn() {
  std::lock_guard<std::mutex> lock(mutex_);
  model_.PowerOn();
}

#define SIM_LOCKED(expr)                       \
  std::lock_guard<std::mutex> lock(mutex_); \
  expr

void SimulatedController::SetBridge(bool bridged) { SIM_LOCKED(model_.SetBridge(bridged)); }
bool SimulatedController::Bridged() const { SIM_LOCKED(return model_.Bridged()); }
Mode SimulatedController::CurrentMode() const { SIM_LOCKED(return model_.CurrentMode()); }
void SimulatedController::SetMode(Mode mode) { SIM_LOCKED(model_.SetMode(mode)); }
void SimulatedController::SetDialect(Dialect dialect) { SIM_LOCKED(model_.SetDialect(dialect)); }
Dialect SimulatedController::CurrentDialect() const { SIM_LOCKED(return model_.CurrentDialect()); }
void SimulatedController::SetProgrammed(bool programmed) { SIM_LOCKED(model_.SetProgrammed(programmed)); }
QByteArray SimulatedController::Received() const { SIM_LOCKED(return model_.Received()); }
void SimulatedController::ClearReceived() {
  SIM_LOCKED(model_.ClearRecords());
  sent_.clear();
}
QByteArray SimulatedController::Sent() const { SIM_LOCKED(return sent_); }
void SimulatedController::RecordSent(const QByteArray &bytes) { SIM_LOCKED(sent_ += bytes); }
QList<QByteArray> SimulatedController::MonitorCommands() const { SIM_LOCKED(return model_.MonitorCommands()); }
QList<QByteArray> SimulatedController::WindowRequests() const { SIM_LOCKED(return model_.WindowRequests()); }
std::map<quint32, quint8> SimulatedController::Flash() const { SIM_LOCKED(return model_.Flash()); }
std::map<quint16, quint8> SimulatedController::ParameterMemory() const {
  SIM_LOCKED(return model_.ParameterMemory());
}
void SimulatedController::SetParameterByte(quint16 address, quint8 value) {
  SIM_LOCKED(model_.SetParameterByte(address, value));
}
bool SimulatedController::ParameterSetPresent() const { SIM_LOCKED(return model_.ParameterSetPresent()); }
QByteArray SimulatedController::Window(int win) const { SIM_LOCKED(return model_.Window(win)); }
void SimulatedController::SetWindow(int win, const QByteArray &value) { SIM_LOCKED(model_.SetWindow(win, value)); }
bool SimulatedController::Locked() const { SIM_LOCKED(return model_.Locked()); }
std::optional<quint32> SimulatedController::LastCrc() const { SIM_LOCKED(return model_.LastCrc()); }
void SimulatedController::SetFaults(const Faults &faults) { SIM_LOCKED(model_.SetFaults(faults)); }
Faults SimulatedController::CurrentFaults() const { SIM_LOCKED(return model_.CurrentFaults()); }
void SimulatedController::SetPromptLength(int bytes) { SIM_LOCKED(model_.SetPromptLength(bytes)); }
qint64 SimulatedController::BytesReceived() const { SIM_LOCKED(return model_.BytesReceived()); }

#undef SIM_LOCKED

qint64 SimulatedController::BytesSent() const { return bytesSent_; }
qint64 SimulatedController::AddedDelayMs() const { return addedDelayMs_; }

}  // namespace sim
