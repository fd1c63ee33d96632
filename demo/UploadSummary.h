#pragma once
// What the simulated controller holds after an upload, compared with the
// files and with the identification windows it held before.

#include "UploadDriver.h"
#include "ExampleFiles.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

namespace sim {
class SimulatedController;
}

// The nine identification windows, by number.
std::map<int, QByteArray> IdentificationWindows(const sim::SimulatedController &controller);

struct UploadSummary {
  bool FullMode = true;
  UploadResult Result = UploadResult::Refused;
  int FlashBytesExpected = 0;
  int FlashBytesMatching = 0;       // programmed and equal to the program file
  int FlashBytesHeld = 0;
  int Parameters = 0;               // records of size 1, 2 or 4 in the list
  int ParametersMatching = 0;       // held by the controller exactly as listed
  int ParameterBytesExpected = 0;
  int ParameterBytesMatching = 0;
  int WindowsRestored = 0;          // equal to what was read before the upload
  int WindowCount = 0;
  bool Locked = false;
  std::optional<quint32> Crc;       // the last CRC the monitor was handed

  bool FlashRight() const {
    return !FullMode || (FlashBytesMatching == FlashBytesExpected && FlashBytesHeld == FlashBytesExpected);
  }
  bool Ok() const {
    return Result == UploadResult::Uploaded && FlashRight() && Parameters > 0 && ParametersMatching == Parameters &&
           ParameterBytesMatching == ParameterBytesExpected && WindowsRestored == WindowCount && Locked;
  }
};

UploadSummary Summarise(const sim::SimulatedController &controller, const ExampleFiles &files, bool fullMode,
                        const std::map<int, QByteArray> &windowsBefore, UploadResult result);

// A few lines for the terminal.
QString SummaryText(const UploadSummary &summary);
