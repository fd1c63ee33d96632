#include "FailureRecord.h"

#include "SerialPort.h"

bool FailureRecord::Record(FlagRule rule, bool checkErrors, const QString &detail) {
  ++Count;
  if (!Flagged && Detail.isEmpty()) Detail = detail;
  const bool flag = rule == FlagRule::Always || (rule == FlagRule::WhileCheckingErrors && checkErrors);
  if (flag) Flagged = true;
  return flag;
}

StepOutcome FailureRecord::Outcome(const SerialPort &port) const {
  if (port.Lost()) return {StepEnd::LineLost, {}};
  if (port.Stopped()) return {StepEnd::Stopped, {}};
  if (Flagged) return {StepEnd::Failed, Detail};
  return {};
}
