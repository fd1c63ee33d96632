#include "MonitorMode.h"

#include "Exchanges.h"
#include "WindowProtocol.h"

namespace {

void ProgressStep(StepProgress &progress, int value, double pause) {
  progress.Set(value);
  progress.Wait(pause);
}

}  // namespace

StepResult SetMonitorMode(SerialPort &port, StepProgress &progress) {
  progress.Begin(Step::EnteringMonitor, {Minimum(0), Maximum(5), Shown, Repainted});
  for (int v = 0; v <= 4; ++v) ProgressStep(progress, v, 0.1);
  // The monitor-mode check that follows is the verdict on this write, so a
  // failed attempt here is neither flagged nor counted.
  WriteWindow(port, MonitorModeWindow, "L", QByteArray("1"));
  ProgressStep(progress, 5, 0.5);
  StepResult result = FailureRecord().Result(port);
  result.ClearsFlag = true;
  return result;
}

QByteArray CrcCommand(qint32 crc) {
  return "C" + QByteArray::number(static_cast<quint32>(crc), 16).toUpper() + "\r";
}

StepResult SendCrc(SerialPort &port, StepProgress &progress, bool checkErrors, qint32 crc) {
  FailureRecord record;
  progress.Begin(Step::SendingCrc, {Minimum(0), Maximum(5), Shown, Repainted});
  for (int v = 0; v <= 3; ++v) ProgressStep(progress, v, 0.1);
  MonitorExchange(port, "\r");
  ProgressStep(progress, 4, 0.1);
  if (MonitorExchange(port, CrcCommand(crc)) != "\r") record.Record(FlagRule::WhileCheckingErrors, checkErrors);
  ProgressStep(progress, 5, 0.5);
  return record.Result(port);
}

bool MonitorModeCheck(SerialPort &port) { return MonitorExchange(port, "U\r").startsWith('Q'); }
