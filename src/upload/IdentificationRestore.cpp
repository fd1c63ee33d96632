#include "IdentificationRestore.h"

#include "IdWindows.h"
#include "WindowProtocol.h"

RestoreRound RestoreControllerParameters(SerialPort &port, const IdBackup &rows, const IdWindowTexts &texts,
                                         FailureRecord &record) {
  RestoreRound round = RestoreRound::Written;
  for (int i = 0; i < IdWindowCount; ++i) {
    // A failure text is no value: the window keeps what the controller holds.
    if (rows[i].ReadFailed && texts[i] == rows[i].Value) continue;
    const WriteResult write = WriteWindow(port, rows[i].Win, rows[i].DataType, texts[i]);
    if (write.Written) continue;
    record.Record(FlagRule::Always);
    if (!write.Answered) return RestoreRound::Unanswered;
    round = RestoreRound::Refused;
  }
  return round;
}
