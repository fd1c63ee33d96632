#include "FailureRecord.h"

#include "SerialPort.h"

bool FailureRecord::Record(FlagRule rule, bool checkErrors, const QString &detail) {
  ++Count;
  if (!Flagged && Detail.isEmpty()) Detail = detail;
  const bool flag = rule == FlagRule::Always || (rule == FlagRule::WhileCheckingErrors && checkErrors);
  if (flag) Flagged = true;
  return flag;
}

StepResult FailureRecord::Result(const SerialPort &port) const {
  StepEnd end = StepEnd::Done;
  if (port.Lost()) end = StepEnd::LineLost;
  else if (port.Stopped()) end = StepEnd::Stopped;
  else if (Flagged) end = StepEnd::Failed;
  return {end, Count, Detail};
}

void FailureRecord::Take(const StepResult &result) {
  if (result.ClearsFlag) ClearFlag();
  Count += result.Failures;
  if (!Flagged && Detail.isEmpty()) Detail = result.Detail;
  if (result.Failed()) Flagged = true;
}

StepResult Together(const StepResult &first, const StepResult &second) {
  StepResult both;
  both.Failures = first.Failures + second.Failures;
  // As one record would keep it: the first failure's word, said or not.
  both.Detail = first.Failed() || !first.Detail.isEmpty() ? first.Detail : second.Detail;
  const auto lineEnded = [](const StepResult &r) { return r.End == StepEnd::LineLost || r.End == StepEnd::Stopped; };
  if (lineEnded(second)) both.End = second.End;
  else if (lineEnded(first)) both.End = first.End;
  else if (first.Failed() || second.Failed()) both.End = StepEnd::Failed;
  return both;
}
