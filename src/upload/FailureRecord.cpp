#include "FailureRecord.h"

#include "mdlGlobal.h"

qint32 FailureCount = 0;
QString FailureDetail;

bool RecordFailure(FlagRule rule, qint16 checkErrors, const QString &detail) {
  ++FailureCount;
  if (ErrorFlag == 0 && FailureDetail.isEmpty()) FailureDetail = detail;
  const bool flag = rule == FlagRule::Always || (rule == FlagRule::WhileCheckingErrors && checkErrors != 0);
  if (flag) ErrorFlag = -1;
  return flag;
}

void ClearFailureRecord() {
  ErrorFlag = 0;
  FailureCount = 0;
  FailureDetail.clear();
}
