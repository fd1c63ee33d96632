#include "MonitorMode.h"

#include "Exchanges.h"
#include "WindowProtocol.h"

namespace {

// The CRC command and the monitor-mode check are asked again on a wrong or
// missing answer: both only tell the monitor what it is already told, or
// ask it. Four attempts, 2 s at most where nothing answers.
constexpr int MonitorAttempts = 4;

void ProgressStep(StepProgress &progress, int value, double pause) {
  progress.Set(value);
  progress.Wait(pause);
}

// Sends a command the monitor takes with a lone CR until it does.
bool SendUntilTaken(SerialPort &port, const QByteArray &command, const char *what) {
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) port.NoteRepeat(QString::fromLatin1(what));
    if (MonitorExchange(port, command) == "\r") {
      port.CountRepeats(attempt - 1);
      return true;
    }
    if (port.Ended() || attempt >= MonitorAttempts) return false;
  }
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
  if (!SendUntilTaken(port, CrcCommand(crc), "CRC command")) record.Record(FlagRule::WhileCheckingErrors, checkErrors);
  ProgressStep(progress, 5, 0.5);
  return record.Result(port);
}

// Its answer is taken whole, up to the line end after the "Q", so that the
// line end is not taken for the answer to the command that follows.
bool MonitorModeCheck(SerialPort &port) {
  return MonitorExchangeUntil(port, "U\r", [](const QByteArray &reply) { return reply.endsWith('\n'); }).startsWith('Q');
}

bool ConfirmMonitorMode(SerialPort &port) {
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1) port.NoteRepeat(QStringLiteral("monitor-mode check"));
    if (MonitorModeCheck(port)) {
      port.CountRepeats(attempt - 1);
      return true;
    }
    if (port.Ended() || attempt >= MonitorAttempts) return false;
  }
}
