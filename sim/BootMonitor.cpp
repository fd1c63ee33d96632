// The boot monitor, entered by powering on with pins 5
// and 9 bridged. Two dialects:
//   "(E)": "E" erases flash, "C" erases EEPROM (both answered with "Erased" at
//          characters 4 to 9), "P" enters programming mode;
//   " Er": "a" erases flash, "d" erases EEPROM, "b" enters programming mode.
// Both: a lone CR is answered with the prompt (tag at characters 8 to 10); an
// S-record line is answered "*" (Faults::RecordAck, "*" CR LF for example)
// when it is right (its data goes into the flash image) and "?" when not.
// Other bytes are ignored. With Faults::EraseWorkMs an erase is echoed with
// CR LF at once and answered when it is done.
// In programming mode the monitor expects S-records: any other letter is
// answered "?" and the rest of the line up to a CR is dropped, so a record
// whose 'S' was lost on the line writes nothing and commands nothing, and a
// second programming-mode command is answered "?" (it is in that mode already).
// Faults::LettersInProgramming models a monitor that takes its letters as
// commands in programming mode too: such a record's hex digits "C" and "E"
// erase.

#include "ControllerModel.h"
#include "SRecord.h"

#include <algorithm>

namespace sim {

namespace {

const QByteArray NotErasedReply = "\r\n Failed!\r\n";  // 12 bytes, no "Erased"
const QByteArray ShortEraseReply = "\r\n Era";         // 6 bytes: too short for the test

struct NamedRecordAck {
  const char *Name;
  const char *Bytes;
};

constexpr NamedRecordAck RecordAckForms[] = {{"star", "*"}, {"star-crlf", "*\r\n"}};

}  // namespace

const QList<DialectRow> &DialectRows() {
  static const QList<DialectRow> rows = {
      // "Erased" at characters 4 to 9 of an erase's answer.
      {Dialect::E, "E", "\r\nBOOT (E)> ", 'E', 'C', 'P', "\r\n Erased\r\n", "\r\n Erased\r\n", "\r\nProgram\r\n"},
      {Dialect::Er, "Er", "\r\nBOOT  Er> ", 'a', 'd', 'b', "\r\nflash ok\r\n", "\r\neeprom ok\r\n", "\r\nprog mode\r\n"},
  };
  return rows;
}

const DialectRow &RowOf(Dialect dialect) {
  for (const DialectRow &row : DialectRows())
    if (row.Which == dialect) return row;
  return DialectRows().first();
}

void ControllerModel::FeedBootMonitor(char byte, std::vector<Output> &out) {
  if (faults_.SilentMonitor) return;
  if (bootState_ == BootState::Idle && SwallowFrame(byte)) return;

  switch (bootState_) {
    case BootState::Idle:
      if (byte == 'S') {
        StartLine(byte);
        bootState_ = BootState::Record;
      } else if (byte == '\r') {
        monitorCommands_.append("\r");
        Emit(out, BootPrompt());
      } else if (programming_ && !faults_.LettersInProgramming) {
        RefuseInProgramming(byte, out);
      } else {
        HandleBootLetter(byte, out);
      }
      return;

    case BootState::Record: {
      if (byte == '\r') {  // the tool resynchronises: drop the partial record
        monitorCommands_.append(line_);
        monitorCommands_.append("\r");
        ClearLine();
        bootState_ = BootState::Idle;
        Emit(out, BootPrompt());
        return;
      }
      AppendToLine(byte);
      const int length = SRecordLength(line_);
      if (length < 0) {  // malformed: refuse and skip the rest of the line
        monitorCommands_.append(line_);
        ClearLine();
        bootState_ = BootState::Discard;
        ++recordIndex_;
        Emit(out, "?");
      } else if (length > 0 && line_.size() == length) {
        const QByteArray record = line_;
        const bool struck = std::find(lineStruck_.begin(), lineStruck_.end(), true) != lineStruck_.end();
        ClearLine();
        bootState_ = BootState::Idle;
        HandleRecord(record, struck, out);
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
  const DialectRow &row = RowOf(dialect_);
  const char flashErase = row.FlashErase, eepromErase = row.EepromErase, programming = row.Programming;
  if (byte != flashErase && byte != eepromErase && byte != programming) return;
  monitorCommands_.append(QByteArray(1, byte));
  if (note_.SentInRecord) ++strayCommands_;

  if (byte == programming) {
    recordIndex_ = 0;
    programming_ = true;
    Emit(out, row.ProgrammingAnswer);
    return;
  }
  QByteArray answer;
  if (faults_.EraseShortReply) {
    byte == flashErase ? EraseFlash() : EraseEeprom();
    answer = ShortEraseReply;
  } else if (faults_.EraseNotErased) {  // the erase failed: nothing is erased
    answer = NotErasedReply;
  } else if (byte == flashErase) {
    EraseFlash();
    answer = row.FlashErased;
  } else {
    EraseEeprom();
    answer = row.EepromErased;
  }
  if (faults_.EraseWorkMs <= 0) {
    Emit(out, answer);
    return;
  }
  // The echo and its line end take the place of the answer's leading line
  // end and blank, so "Erased" stays at characters 4 to 9.
  qsizetype lead = 0;
  while (lead < answer.size() && (answer[lead] == '\r' || answer[lead] == '\n' || answer[lead] == ' ')) ++lead;
  Emit(out, QByteArray(1, byte) + "\r\n");
  Emit(out, answer.mid(lead), faults_.EraseWorkMs);
}

void ControllerModel::RefuseInProgramming(char byte, std::vector<Output> &out) {
  monitorCommands_.append(QByteArray(1, byte));
  if (note_.SentInRecord) ++strayRefused_;
  bootState_ = BootState::Discard;
  Emit(out, "?");
}

// The checksum covers the count, address and data, not the type digit: a
// record whose type digit changed on the way is taken for what it now says.
void ControllerModel::HandleRecord(const QByteArray &line, bool struck, std::vector<Output> &out) {
  monitorCommands_.append(line);
  const int index = recordIndex_++;
  const std::optional<SRecord> record = ParseSRecord(line);
  if (!record || faults_.RefuseAllRecords ||
      (faults_.RefuseRecord >= 0 && index >= faults_.RefuseRecord &&
       index < faults_.RefuseRecord + faults_.RefuseRecordTimes)) {
    Emit(out, "?");
    return;
  }
  if (struck) ++blindSpotHits_;
  if (record->Type >= 1 && record->Type <= 3) {
    for (int i = 0; i < record->Data.size(); ++i)
      flash_[record->Address + quint32(i)] = quint8(record->Data[i]);
  }
  const QByteArray ack = index == faults_.GarbleAckRecord ? "\xAA" : faults_.RecordAck;  // '*' with its top bit flipped
  const int delayMs = index == faults_.LateAckRecord ? faults_.LateAckMs : 0;
  const int split = faults_.RecordAckSplit;
  if (split <= 0 || split >= ack.size()) {
    Emit(out, ack, delayMs);
    return;
  }
  Emit(out, ack.left(split), delayMs);
  Emit(out, ack.mid(split), faults_.RecordAckSplitMs);
}

bool ParseRecordAck(const QByteArray &name, QByteArray &out) {
  for (const NamedRecordAck &named : RecordAckForms)
    if (name.trimmed().toLower() == named.Name) {
      out = named.Bytes;
      return true;
    }
  return false;
}

QByteArray RecordAckName(const QByteArray &ack) {
  for (const NamedRecordAck &named : RecordAckForms)
    if (ack == named.Bytes) return named.Name;
  return {};
}

QList<QByteArray> RecordAckNames() {
  QList<QByteArray> names;
  for (const NamedRecordAck &named : RecordAckForms) names << named.Name;
  return names;
}

}  // namespace sim
