#include "IdentificationRestore.h"

#include "IdWindows.h"
#include "WindowProtocol.h"

StepOutcome RestoreControllerParameters(SerialPort &port, const IdBackup &rows, const IdWindowTexts &texts,
                                        FailureRecord &record) {
  for (int i = 0; i < IdWindowCount; ++i) {
    // A failure text is no value: the window keeps what the controller holds.
    if (rows[i].ReadFailed && texts[i] == rows[i].Value) continue;
    if (!WriteWindow(port, rows[i].Win, rows[i].DataType, texts[i])) record.Record(FlagRule::Always);
  }
  return record.Outcome(port);
}
