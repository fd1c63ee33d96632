#include "ExamineCommands.h"

#include "ConsoleText.h"
#include "Examination.h"
#include "PortList.h"
#include "PortSearch.h"
#include "StopSignals.h"
#include "TerminalHost.h"

#include <cstdio>

namespace {

void Print(std::FILE *out, const QString &text) {
  for (const QString &line : text.split('\r')) WriteText(out, line + '\n');
  std::fflush(out);
}

}  // namespace

bool ResolveAutoPort(CliOptions &options, int *status) {
  if (!options.Port.Auto) return true;
  const PortVerdict verdict = ChooseAnsweringPort(SearchPorts(KnownPorts()));
  if (!verdict.Found) {
    Print(stderr, verdict.Refusal + "\rGive the port with --port N or --port DEVICE.");
    *status = ExitPortNotOpened;
    return false;
  }
  options.Port = {qint16(verdict.Found->Number), verdict.Found->Device, false};
  Print(stdout, QStringLiteral("Found: %1 answers on serial port %2 (%3).")
                    .arg(AnswererWords(verdict.Found->Contact))
                    .arg(verdict.Found->Number)
                    .arg(verdict.Found->Device));
  return true;
}

int IdentifyCommand(const CliOptions &options, const QDir &folder) {
  TerminalHost host(options, folder);
  CatchStopSignals();
  const IdentifyRun run = RunIdentify(host, folder);
  if (run.Result != UploadResult::Uploaded) return ExitStatusOf({run.Result, run.Journalled});
  Print(run.Answered() ? stdout : stderr, IdentityText(run.Identity, host.PortName()));
  if (!run.Answered()) return ExitInterrupted;
  return run.Journalled ? ExitUploaded : ExitNotJournalled;
}

int VerifyCommand(const CliOptions &options, const QDir &folder) {
  TerminalHost host(options, folder);
  CatchStopSignals();
  const VerifyRun run = RunVerify(host, folder);
  if (run.Result != UploadResult::Uploaded) return ExitStatusOf({run.Result, run.Journalled});
  if (!run.Equal()) return ExitDiffers;
  if (run.LockNotRestored()) return ExitLockNotRestored;
  return run.Journalled ? ExitUploaded : ExitNotJournalled;
}
