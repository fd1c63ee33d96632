// The parameter monitor: entered by writing 1 to window
// 500, or at power-on without the bridge when no program or no parameter set
// is in place. Commands end with CR (a LF is ignored):
//   CR            -> the prompt (its characters 8 to 10 are neither tag)
//   "U" CR        -> "Q" CR LF
//   "C" hex CR    -> CR            (the CRC, 1 to 8 hex digits, is recorded)
//   "E" AAAA DD CR-> CR            (byte DD stored at AAAA; the parameter set is in place)
//   "R" AAAA CR   -> DD CR         (two upper-case hex digits; FF where never written;
//                                   Faults::ReadBack chooses other forms)
//   anything else -> "?" CR LF
// Window protocol frames are swallowed without an answer.

#include "ControllerModel.h"

namespace sim {

namespace {

constexpr int MaxCommandLength = 64;

bool IsHex(const QByteArray &text) {
  if (text.isEmpty()) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

QByteArray Hex2(quint8 value) { return QByteArray::number(value, 16).toUpper().rightJustified(2, '0'); }

struct NamedReadBackForm {
  ReadBackForm Form;
  const char *Name;
};

constexpr NamedReadBackForm ReadBackFormNames[] = {
    {ReadBackForm::Plain, "plain"},   {ReadBackForm::LowerCase, "lower"},
    {ReadBackForm::CrLf, "crlf"},     {ReadBackForm::LineEndFirst, "line-end-first"},
    {ReadBackForm::Blanks, "blanks"}, {ReadBackForm::Echo, "echo"},
    {ReadBackForm::EchoSameLine, "echo-same-line"},
};

QByteArray ReadBackReply(ReadBackForm form, const QByteArray &command, quint8 value) {
  switch (form) {
    case ReadBackForm::Plain: return Hex2(value) + '\r';
    case ReadBackForm::LowerCase: return Hex2(value).toLower() + '\r';
    case ReadBackForm::CrLf: return Hex2(value) + "\r\n";
    case ReadBackForm::LineEndFirst: return "\r\n" + Hex2(value) + "\r\n";
    case ReadBackForm::Blanks: return " " + Hex2(value) + " \r\n";
    case ReadBackForm::Echo: return command + "\r\n" + Hex2(value) + "\r\n";
    case ReadBackForm::EchoSameLine: return command + " " + Hex2(value) + "\r\n";
  }
  return {};
}

}  // namespace

void ControllerModel::FeedParameterMonitor(char byte, std::vector<Output> &out) {
  if (faults_.SilentMonitor) return;
  if (SwallowFrame(byte)) return;
  if (byte == '\n') return;
  if (byte != '\r') {
    if (line_.size() < MaxCommandLength) AppendToLine(byte);
    return;
  }
  const QByteArray line = line_;
  const std::vector<bool> struck = lineStruck_;
  ClearLine();
  monitorCommands_.append(line + '\r');
  HandleParameterCommand(line, struck, out);
}

namespace {

bool AnyStruck(const std::vector<bool> &struck, size_t from, size_t to) {
  for (size_t i = from; i < to && i < struck.size(); ++i)
    if (struck[i]) return true;
  return false;
}

}  // namespace

// Neither a CRC nor a write carries a checksum: one that noise changed is
// acted on and answered like the one the tool sent.
void ControllerModel::HandleParameterCommand(const QByteArray &line, const std::vector<bool> &struck,
                                             std::vector<Output> &out) {
  if (line.isEmpty()) {
    Emit(out, ParameterPrompt());
    return;
  }
  const char command = line[0];
  const QByteArray args = line.mid(1);

  if (command == 'U' && args.isEmpty()) {
    if (faults_.ModeAnswerTailMs > 0) {
      Emit(out, "Q");
      Emit(out, "\r\n", faults_.ModeAnswerTailMs);
    } else {
      Emit(out, "Q\r\n");
    }
  } else if (command == 'C' && IsHex(args) && args.size() <= 8) {
    lastCrc_ = args.toUInt(nullptr, 16);
    if (AnyStruck(struck, 1, struck.size())) ++parameterBlindSpotHits_;
    Emit(out, faults_.CrcReplyCrLf ? "\r\n" : "\r");
  } else if (command == 'E' && args.size() == 6 && IsHex(args)) {
    const quint16 address = quint16(args.left(4).toUInt(nullptr, 16));
    parameterMemory_[address] = quint8(args.mid(4).toUInt(nullptr, 16));
    parameterSetPresent_ = true;
    if (AnyStruck(struck, 1, 5)) ++parameterBlindSpotHits_;  // written at another address
    if (spoiledWriteReplies_ < faults_.SpoiledWriteReplies)
      Emit(out, "?" + QByteArray::number(++spoiledWriteReplies_) + "\r");
    else
      Emit(out, faults_.ParamWriteCrLf ? "\r\n" : "\r");
  } else if (command == 'R' && args.size() == 4 && IsHex(args)) {
    const quint16 address = quint16(args.toUInt(nullptr, 16));
    auto it = parameterMemory_.find(address);
    quint8 value = it == parameterMemory_.end() ? 0xFF : it->second;
    if (faults_.WrongReadAddress == int(address)) value ^= 0xFF;
    Emit(out, faults_.ReadBackOverride.isEmpty() ? ReadBackReply(faults_.ReadBack, line, value)
                                                 : faults_.ReadBackOverride);
  } else {
    Emit(out, "?\r\n");
  }
}

bool ParseReadBackForm(const QByteArray &name, ReadBackForm &out) {
  for (const NamedReadBackForm &named : ReadBackFormNames)
    if (name.trimmed().toLower() == named.Name) {
      out = named.Form;
      return true;
    }
  return false;
}

QByteArray ReadBackFormName(ReadBackForm form) {
  for (const NamedReadBackForm &named : ReadBackFormNames)
    if (named.Form == form) return named.Name;
  return {};
}

QList<ReadBackForm> ReadBackForms() {
  QList<ReadBackForm> forms;
  for (const NamedReadBackForm &named : ReadBackFormNames) forms << named.Form;
  return forms;
}

}  // namespace sim
