// Power, modes, memories and dispatch of the simulated controller.

#include "ControllerModel.h"

namespace sim {

namespace {

// A small program that a fresh controller carries (reset vector and a few
// bytes of code); erased by the boot monitor's flash erase.
void FillFactoryProgram(std::map<quint32, quint8> &flash) {
  const quint8 code[] = {0x8E, 0x0F, 0xFF, 0x86, 0x00, 0xB7, 0x10, 0x00, 0x7E, 0xC0, 0x00};
  for (quint32 i = 0; i < sizeof code; ++i) flash[0xC000 + i] = code[i];
  flash[0xFFFE] = 0xC0;
  flash[0xFFFF] = 0x00;
}

}  // namespace

std::map<int, QByteArray> FactoryWindows() {
  return {
      {310, "001234"},      // VE
      {311, "002500"},      // Vref
      {319, "CU-4471-02"},  // controller P/N
      {320, "PMP-90211"},   // pump P/N
      {321, "S12"},         // pump special model (at most 4 characters)
      {322, "P24051703"},   // pump S/N
      {323, "C23119876"},   // controller S/N
      {324, "MOD-03"},      // pump modification level
      {325, "REV-C"},       // controller modification level
  };
}

ControllerModel::ControllerModel(Dialect dialect) : dialect_(dialect) {
  for (const auto &[win, value] : FactoryWindows())
    windows_[win] = WindowSlot{win == 310 || win == 311 ? 'N' : 'A', value};
  windows_[500] = WindowSlot{'L', "0"};
  windows_[501] = WindowSlot{'L', "0"};
  SetProgrammed(true);
  mode_ = Mode::Application;
}

std::vector<Output> ControllerModel::Feed(const QByteArray &bytes) {
  std::vector<Output> out;
  for (char byte : bytes) {
    std::vector<Output> part = Feed(byte);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

std::vector<Output> ControllerModel::Feed(char byte, ByteNote note) {
  note_ = note;
  received_.append(byte);
  ++bytesReceived_;
  std::vector<Output> out;
  switch (mode_) {
    case Mode::Off: break;
    case Mode::Application: FeedApplication(byte, out); break;
    case Mode::BootMonitor: FeedBootMonitor(byte, out); break;
    case Mode::ParameterMonitor: FeedParameterMonitor(byte, out); break;
  }
  return out;
}

void ControllerModel::Emit(std::vector<Output> &out, const QByteArray &bytes, int delayMs) {
  if (bytes.isEmpty() && delayMs == 0) return;
  bytesProduced_ += bytes.size();
  out.push_back(Output{delayMs, bytes, false});
}

void ControllerModel::PowerOff() {
  mode_ = Mode::Off;
  programming_ = false;
  ResetParsers();
}

void ControllerModel::PowerOn() {
  ResetParsers();
  recordIndex_ = 0;
  windows_[500].Value = "0";
  if (bridged_)
    mode_ = Mode::BootMonitor;
  else if (ProgramPresent() && parameterSetPresent_)
    mode_ = Mode::Application;
  else
    mode_ = Mode::ParameterMonitor;
}

void ControllerModel::SetMode(Mode mode) {
  ResetParsers();
  recordIndex_ = 0;
  programming_ = false;
  mode_ = mode;
}

void ControllerModel::SetProgrammed(bool programmed) {
  flash_.clear();
  if (programmed) FillFactoryProgram(flash_);
  parameterSetPresent_ = programmed;
}

void ControllerModel::ResetParsers() {
  frameState_ = FrameState::Hunting;
  frame_.clear();
  trailerLeft_ = 0;
  swallow_ = SwallowState::None;
  swallowLeft_ = 0;
  bootState_ = BootState::Idle;
  ClearLine();
}

void ControllerModel::StartLine(char byte) {
  line_ = QByteArray(1, byte);
  lineStruck_.assign(1, note_.Struck);
}

void ControllerModel::AppendToLine(char byte) {
  line_.append(byte);
  lineStruck_.push_back(note_.Struck);
}

void ControllerModel::ClearLine() {
  line_.clear();
  lineStruck_.clear();
}

void ControllerModel::EraseFlash() { flash_.clear(); }

// A real EEPROM erase takes the identification windows, the lock and the
// parameter set with it.
void ControllerModel::EraseEeprom() {
  parameterMemory_.clear();
  parameterSetPresent_ = false;
  for (auto &[win, slot] : windows_) slot.Value = slot.Type == 'L' ? "0" : "";
  locked_ = false;
}

QByteArray ControllerModel::Window(int window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? QByteArray() : it->second.Value;
}

bool ControllerModel::HasWindow(int window) const { return windows_.count(window) != 0; }

void ControllerModel::SetWindow(int window, const QByteArray &value) {
  auto it = windows_.find(window);
  if (it == windows_.end()) {
    windows_[window] = WindowSlot{'A', value};
    return;
  }
  it->second.Value = value;
  if (window == 501) locked_ = value == "1";
}

void ControllerModel::ClearRecords() {
  received_.clear();
  monitorCommands_.clear();
  windowRequests_.clear();
  blindSpotHits_ = strayCommands_ = strayRefused_ = parameterBlindSpotHits_ = 0;
}

bool ControllerModel::SwallowFrame(char byte) {
  switch (swallow_) {
    case SwallowState::None:
      if (byte != STX) return false;
      swallow_ = SwallowState::Body;
      swallowLeft_ = 256;
      return true;
    case SwallowState::Body:
      if (byte == ETX) {
        swallow_ = SwallowState::Trailer;
        swallowLeft_ = 2;
      } else if (--swallowLeft_ <= 0) {
        swallow_ = SwallowState::None;  // not a frame after all
      }
      return true;
    case SwallowState::Trailer:
      if (--swallowLeft_ <= 0) swallow_ = SwallowState::None;
      return true;
  }
  return false;
}

// Prompts: "\r\nBOOT (E)> " and "\r\nBOOT  Er> " carry their tag at 1-based
// characters 8 to 10; "\r\nMONITOR > " carries "OR " there, neither tag.
// SetPromptLength cuts a prompt short or lengthens it with dots.
namespace {
QByteArray FitPrompt(QByteArray prompt, int length) {
  if (length < 0) length = 0;
  if (prompt.size() > length) return prompt.left(length);
  while (prompt.size() < length) prompt.append('.');
  return prompt;
}
}  // namespace

QByteArray ControllerModel::BootPrompt() const {
  return FitPrompt(RowOf(dialect_).Prompt, promptLength_);
}

QByteArray ControllerModel::ParameterPrompt() const {
  return FitPrompt("\r\nMONITOR > ", promptLength_);
}

}  // namespace sim
