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

ExitStatus StatusOf(UploadResult result) {
  switch (result) {
    case UploadResult::Uploaded: return ExitUploaded;
    case UploadResult::Refused: return ExitRefused;
    case UploadResult::PortNotOpened: return ExitPortNotOpened;
    case UploadResult::Interrupted: return ExitInterrupted;
    case UploadResult::ConnectionLost: return ExitConnectionLost;
  }
  return ExitInterrupted;
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
  host.SetExamining();
  CatchStopSignals();
  const IdentifyRun run = RunIdentify(host, folder);
  if (run.Result != UploadResult::Uploaded) return StatusOf(run.Result);
  Print(run.Answered() ? stdout : stderr, IdentityText(run.Identity, host.PortName()));
  return run.Answered() ? ExitUploaded : ExitInterrupted;
}

int VerifyCommand(const CliOptions &options, const QDir &folder) {
  TerminalHost host(options, folder);
  host.SetExamining();
  CatchStopSignals();
  const VerifyRun run = RunVerify(host, folder);
  if (run.Result != UploadResult::Uploaded) return StatusOf(run.Result);
  return run.Equal() ? ExitUploaded : ExitDiffers;
}
