#include "LineAnswer.h"

#include "Exchanges.h"

LineAnswer JudgeAnswers(const QByteArray &first, const QByteArray &second) {
  for (const QByteArray &reply : {first, second})
    if (const BootDialect *dialect = PromptDialect(reply)) return {Answerer::BootMonitor, dialect};
  if (first.isEmpty() && second.isEmpty()) return {};
  return {Answerer::ParameterMonitor, {}};
}

LineAnswer AskWhatAnswers(SerialPort &port) {
  // Nothing but CR may go out here. The boot monitor takes single letters as
  // commands, its erase among them, and a window frame's checksum may hold
  // one; a running application ignores a CR, and both monitors answer it with
  // their prompt.
  const QByteArray first = MonitorExchangeCount(port, "\r", 10);
  if (first.isEmpty() || PromptDialect(first)) return JudgeAnswers(first, {});
  // The parameter monitor may first answer "?" to the frame bytes it had
  // collected; its prompt comes with the next CR.
  return JudgeAnswers(first, MonitorExchangeCount(port, "\r", 10));
}
