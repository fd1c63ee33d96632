// The simulated controller behind its line (ControllerLine.h).

#include "SimulatedController.h"

#include "ControllerLine.h"
#include "PortLink.h"

namespace sim {

// ---------------------------------------------------------------------------
// SimulatedController

SimulatedController::SimulatedController(Dialect dialect) : model_(dialect) {}

SimulatedController::~SimulatedController() {
  StopPlugThread();
  {
    std::lock_guard<std::mutex> lock(lineMutex_);
    StopLine();
  }
  std::lock_guard<std::mutex> plug(plugMutex_);
  if (!link_.isEmpty()) RemoveLink(link_, linkTarget_);
}

bool SimulatedController::Start(QString *error) {
  std::lock_guard<std::mutex> lock(lineMutex_);
  {
    std::lock_guard<std::mutex> plug(plugMutex_);
    replugAt_.reset();  // plugged back in by hand
  }
  if (line_ && line_->Alive()) return true;
  StopLine();
  return StartLine(error);
}

bool SimulatedController::StartLine(QString *error) {
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
  std::lock_guard<std::mutex> plug(plugMutex_);
  if (!link_.isEmpty() && PointLink(link_, path, nullptr)) linkTarget_ = path;
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

bool SimulatedController::Running() const {
  std::lock_guard<std::mutex> lock(lineMutex_);
  return line_ && line_->Alive();
}

bool SimulatedController::SetLink(const QString &path, QString *error) {
  std::lock_guard<std::mutex> line(lineMutex_);
  const QString device = SlavePath();
  std::lock_guard<std::mutex> plug(plugMutex_);
  if (!link_.isEmpty()) RemoveLink(link_, linkTarget_);
  link_ = path;
  linkTarget_.clear();
  if (path.isEmpty() || !line_ || !line_->Alive()) return true;
  if (!PointLink(path, device, error)) {
    link_.clear();
    return false;
  }
  linkTarget_ = device;
  return true;
}

QString SimulatedController::Link() const {
  std::lock_guard<std::mutex> plug(plugMutex_);
  return link_;
}

void SimulatedController::HangUp() {
  std::lock_guard<std::mutex> lock(lineMutex_);
  {
    std::lock_guard<std::mutex> plug(plugMutex_);
    replugAt_.reset();  // gone for good, until the next Start()
  }
  DropLink();
  StopLine();
}

// Its device goes with it: a link left behind could come to name another
// program's pseudo-terminal, the number being free again.
void SimulatedController::DropLink() {
  std::lock_guard<std::mutex> plug(plugMutex_);
  if (!link_.isEmpty()) RemoveLink(link_, linkTarget_);
  linkTarget_.clear();
}

// ---------------------------------------------------------------------------
// Unplugging

namespace {

QString CannotUnplugDevice(const QString &device) {
  return QStringLiteral("the simulator serves the serial port %1, which only pulling out its adapter unplugs")
      .arg(device);
}

}  // namespace

bool SimulatedController::Unplug(int ms, QString *error) {
  if (!device_.isEmpty()) {
    if (error) *error = CannotUnplugDevice(device_);
    return false;
  }
  std::lock_guard<std::mutex> lock(lineMutex_);
  const bool up = line_ && line_->Alive();
  if (!up && Plugged()) {
    if (error) *error = QStringLiteral("the line is down: there is nothing to unplug");
    return false;
  }
  ScheduleReplug(ms);
  StopLine();
  return true;
}

bool SimulatedController::UnplugAfterBytesReceived(qint64 count, int ms, QString *error) {
  if (!device_.isEmpty() && count > 0) {
    if (error) *error = CannotUnplugDevice(device_);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  unplugAtWireIn_ = count > 0 ? wireIn_ + count : -1;
  unplugAfterMs_ = ms;
  return true;
}

bool SimulatedController::Plugged() const {
  std::lock_guard<std::mutex> plug(plugMutex_);
  return !replugAt_;
}

// Under the line's lock, which an unplug and a replug hold throughout: never
// caught between the line going and its coming back.
bool SimulatedController::LineGone() const {
  std::lock_guard<std::mutex> lock(lineMutex_);
  if (line_ && line_->Alive()) return false;
  std::lock_guard<std::mutex> plug(plugMutex_);
  return !replugAt_;
}

int SimulatedController::Unplugs() const {
  std::lock_guard<std::mutex> plug(plugMutex_);
  return unplugs_;
}

// The adapter's device goes with it: the link too, until it is back.
void SimulatedController::ScheduleReplug(int ms) {
  std::lock_guard<std::mutex> plug(plugMutex_);
  if (!replugAt_) ++unplugs_;
  replugAt_ = Clock::now() + std::chrono::milliseconds(std::max(0, ms));
  if (!link_.isEmpty()) RemoveLink(link_, linkTarget_);
  linkTarget_.clear();
  if (!plugThread_.joinable() && !plugStop_) plugThread_ = std::thread([this] { PlugBackIn(); });
  plugWake_.notify_all();
}

// The plug thread: waits for each unplug's time to be up, then opens a new
// line for the same controller.
void SimulatedController::PlugBackIn() {
  std::unique_lock<std::mutex> plug(plugMutex_);
  while (!plugStop_) {
    if (!replugAt_) {
      plugWake_.wait(plug);
      continue;
    }
    if (Clock::now() < *replugAt_) {
      plugWake_.wait_until(plug, *replugAt_);
      continue;
    }
    plug.unlock();
    std::lock_guard<std::mutex> line(lineMutex_);
    plug.lock();
    // Plugged in by hand, hung up, or unplugged for longer meanwhile.
    if (plugStop_ || !replugAt_ || Clock::now() < *replugAt_) continue;
    plug.unlock();
    StopLine();
    StartLine(nullptr);  // a failure leaves the line down for good
    plug.lock();
    replugAt_.reset();
  }
}

void SimulatedController::StopPlugThread() {
  {
    std::lock_guard<std::mutex> plug(plugMutex_);
    plugStop_ = true;
    plugWake_.notify_all();
  }
  if (plugThread_.joinable()) plugThread_.join();
}

// ---------------------------------------------------------------------------
// Line settings

void SimulatedController::SetPaced(bool paced) { paced_ = paced; }
bool SimulatedController::Paced() const { return paced_; }

void SimulatedController::SetDelivery(const LineDelivery &delivery) {
  latencyMs_ = qMax(1, delivery.LatencyMs);
  deliveryKind_ = int(delivery.Kind);
  std::lock_guard<std::mutex> lock(lineMutex_);
  if (line_) line_->Wake();
}

LineDelivery SimulatedController::Delivery() const {
  return LineDelivery{DeliveryKind(deliveryKind_.load()), latencyMs_.load()};
}

void SimulatedController::SetNoise(const LineNoise &noise) {
  std::lock_guard<std::mutex> lock(mutex_);
  noise_ = noise;
  noisy_ = noise.Rate > 0;
  toController_ = NoiseStream(noise, NoiseEvent::ToController);
  toTool_ = NoiseStream(noise, NoiseEvent::ToTool);
}

LineNoise SimulatedController::Noise() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return noise_;
}

// Each byte from the tool meets the noise, then the controller; the record
// spans follow what the tool sent, so that a command the monitor takes from a
// record's characters is known for one.
std::vector<Output> SimulatedController::HearLocked(const char *data, qint64 size) {
  std::vector<Output> out;
  for (qint64 i = 0; i < size; ++i) {
    const char sent = data[i];
    const qint64 index = heardIndex_++;
    ++wireIn_;
    ByteNote note;
    if (model_.CurrentMode() == Mode::BootMonitor)
      note.SentInRecord = toolRecords_.Take(sent);
    else
      toolRecords_.Reset();
    char heard = sent;
    if (!toController_.Clean()) {
      if (std::optional<NoiseEvent> event = toController_.Draw(quint8(sent))) {
        event->Index = index;
        noiseEvents_ << *event;
        if (event->What == NoiseEvent::Lost) {
          lostBefore_ = true;
          continue;
        }
        heard = char(event->After);
        note.Struck = true;
      }
    }
    note.Struck = note.Struck || lostBefore_;
    lostBefore_ = false;
    std::vector<Output> part = model_.Feed(heard, note);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// ---------------------------------------------------------------------------
// The technician's hands

void SimulatedController::PowerOff() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.PowerOff();
    ++powerGeneration_;
  }
  std::lock_guard<std::mutex> lock(lineMutex_);
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
  delivered_.clear();
  noiseEvents_.clear();
  heardIndex_ = sentIndex_ = 0;
}
QByteArray SimulatedController::Sent() const { SIM_LOCKED(return sent_); }
QByteArray SimulatedController::Delivered() const { SIM_LOCKED(return delivered_); }
QList<NoiseEvent> SimulatedController::NoiseEvents() const { SIM_LOCKED(return noiseEvents_); }
int SimulatedController::BlindSpotHits() const { SIM_LOCKED(return model_.BlindSpotHits()); }
int SimulatedController::StrayCommands() const { SIM_LOCKED(return model_.StrayCommands()); }
int SimulatedController::StrayRefused() const { SIM_LOCKED(return model_.StrayRefused()); }
bool SimulatedController::InProgrammingMode() const { SIM_LOCKED(return model_.InProgrammingMode()); }
int SimulatedController::ParameterBlindSpotHits() const { SIM_LOCKED(return model_.ParameterBlindSpotHits()); }
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
void SimulatedController::SetFaults(const Faults &faults) {
  SIM_LOCKED(model_.SetFaults(faults));
  wireInAtFaults_ = wireIn_;
}
Faults SimulatedController::CurrentFaults() const { SIM_LOCKED(return model_.CurrentFaults()); }
void SimulatedController::SetPromptLength(int bytes) { SIM_LOCKED(model_.SetPromptLength(bytes)); }
qint64 SimulatedController::BytesReceived() const { SIM_LOCKED(return model_.BytesReceived()); }

#undef SIM_LOCKED

qint64 SimulatedController::BytesSent() const { return bytesSent_; }
qint64 SimulatedController::AddedDelayMs() const { return addedDelayMs_; }

}  // namespace sim
