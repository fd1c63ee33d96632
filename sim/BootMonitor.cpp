// The boot monitor, entered by powering on with pins 5
// and 9 bridged. Two dialects:
//   "(E)": "E" erases flash, "C" erases EEPROM (both answered with "Erased" at
//          characters 4 to 9), "P" enters programming mode;
//   " Er": "a" erases flash, "d" erases EEPROM, "b" enters programming mode.
// Both: a lone CR is answered with the prompt (tag at characters 8 to 10); an
// S-record line is answered "*" when it is right (its data goes into the flash
// image) and "?" when not. Other bytes are ignored.

#include "ControllerModel.h"
#include "SRecord.h"

namespace sim {

namespace {

const QByteArray ErasedReply = "\r\n Erased\r\n";      // "Erased" at 4..9, 11 bytes
const QByteArray NotErasedReply = "\r\n Failed!\r\n";  // 12 bytes, no "Erased"
const QByteArray ShortEraseReply = "\r\n Era";         // 6 bytes: too short for the test

}  // namespace

void ControllerModel::FeedBootMonitor(char byte, std::vector<Output> &out) {
  if (faults_.SilentMonitor) return;
  if (bootState_ == BootState::Idle && SwallowFrame(byte)) return;

  switch (bootState_) {
    case BootState::Idle:
      if (byte == 'S') {
        line_ = "S";
        bootState_ = BootState::Record;
      } else if (byte == '\r') {
        monitorCommands_.append("\r");
        Emit(out, BootPrompt());
      } else {
        HandleBootLetter(byte, out);
      }
      return;

    case BootState::Record: {
      if (byte == '\r') {  // the tool resynchronises: drop the partial record
        monitorCommands_.append(line_);
        monitorCommands_.append("\r");
        line_.clear();
        bootState_ = BootState::Idle;
        Emit(out, BootPrompt());
        return;
      }
      line_.append(byte);
      const int length = SRecordLength(line_);
      if (length < 0) {  // malformed: refuse and skip the rest of the line
        monitorCommands_.append(line_);
        line_.clear();
        bootState_ = BootState::Discard;
        ++recordIndex_;
        Emit(out, "?");
      } else if (length > 0 && line_.size() == length) {
        const QByteArray record = line_;
        line_.clear();
        bootState_ = BootState::Idle;
        HandleRecord(record, out);
      }
      return;
    }

    case BootState::Discard:
      if (byte == '\r') {
        monitorCommands_.append("\r");
        bootState_ = BootState::Idle;
        Emit(out, BootPrompt());
      }
      return;
  }
}

void ControllerModel::HandleBootLetter(char byte, std::vector<Output> &out) {
  const bool e = dialect_ == Dialect::E;
  const char flashErase = e ? 'E' : 'a';
  const char eepromErase = e ? 'C' : 'd';
  const char programming = e ? 'P' : 'b';
  if (byte != flashErase && byte != eepromErase && byte != programming) return;
  monitorCommands_.append(QByteArray(1, byte));

  if (byte == programming) {
    recordIndex_ = 0;
    Emit(out, e ? "\r\nProgram\r\n" : "\r\nprog mode\r\n");
    return;
  }
  if (faults_.EraseShortReply) {
    byte == flashErase ? EraseFlash() : EraseEeprom();
    Emit(out, ShortEraseReply);
    return;
  }
  if (faults_.EraseNotErased) {  // the erase failed: nothing is erased
    Emit(out, NotErasedReply);
    return;
  }
  if (byte == flashErase) {
    EraseFlash();
    Emit(out, e ? ErasedReply : "\r\nflash ok\r\n");
  } else {
    EraseEeprom();
    Emit(out, e ? ErasedReply : "\r\neeprom ok\r\n");
  }
}

void ControllerModel::HandleRecord(const QByteArray &line, std::vector<Output> &out) {
  monitorCommands_.append(line);
  const int index = recordIndex_++;
  const std::optional<SRecord> record = ParseSRecord(line);
  if (!record || faults_.RefuseAllRecords || index == faults_.RefuseRecord) {
    Emit(out, "?");
    return;
  }
  if (record->Type >= 1 && record->Type <= 3) {
    for (int i = 0; i < record->Data.size(); ++i)
      flash_[record->Address + quint32(i)] = quint8(record->Data[i]);
  }
  const QByteArray ack = index == faults_.GarbleAckRecord ? "\xAA" : "*";  // '*' with its top bit flipped
  Emit(out, ack, index == faults_.LateAckRecord ? faults_.LateAckMs : 0);
}

}  // namespace sim
