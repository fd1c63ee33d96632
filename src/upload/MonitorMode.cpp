#include "MonitorMode.h"

#include "Exchanges.h"
#include "WindowProtocol.h"

namespace {

void ProgressStep(StepHost &host, int value, double pause) {
  host.SetProgressValue(value);
  host.Wait(pause);
}

void BeginFiveStepScale(StepHost &host, Step step) {
  host.SetProgressMin(0);
  host.SetProgressMax(5);
  host.SetStep(step);
  host.Repaint();
}

}  // namespace

StepOutcome SetMonitorMode(StepHost &host, FailureRecord &record) {
  BeginFiveStepScale(host, Step::EnteringMonitor);
  for (int v = 0; v <= 4; ++v) ProgressStep(host, v, 0.1);
  // The monitor-mode check that follows is the verdict on this write, so a
  // failed attempt here is neither flagged nor counted.
  WriteWindow(host.Port(), MonitorModeWindow, "L", QByteArray("1"));
  record.ClearFlag();
  ProgressStep(host, 5, 0.5);
  return record.Outcome(host.Port());
}

QByteArray CrcCommand(qint32 crc) {
  return "C" + QByteArray::number(static_cast<quint32>(crc), 16).toUpper() + "\r";
}

StepOutcome SendCrc(StepHost &host, FailureRecord &record, qint32 Crc) {
  BeginFiveStepScale(host, Step::SendingCrc);
  for (int v = 0; v <= 3; ++v) ProgressStep(host, v, 0.1);
  MonitorExchange(host.Port(), "\r");
  ProgressStep(host, 4, 0.1);
  if (MonitorExchange(host.Port(), CrcCommand(Crc)) != "\r")
    record.Record(FlagRule::WhileCheckingErrors, host.CheckErrors());
  ProgressStep(host, 5, 0.5);
  return record.Outcome(host.Port());
}

bool MonitorModeCheck(StepHost &host) { return MonitorExchange(host.Port(), "U\r").startsWith('Q'); }
