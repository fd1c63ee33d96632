#include "FailureRecord.h"
#include "UploadSteps.h"
#include "mdlSerial.h"

void RestoreControllerParameters(SerialPort &port, const IdWindowTexts &texts) {
  for (int i = 0; i < IdWindowCount; ++i) {
    // A failure text is no value: the window keeps what the controller holds.
    if (IdWindows[i].ReadFailed && texts[i] == IdWindows[i].Value) continue;
    if (!WriteWindow(port, IdWindows[i].Win, IdWindows[i].DataType, texts[i])) RecordFailure(FlagRule::CountOnly);
  }
}
