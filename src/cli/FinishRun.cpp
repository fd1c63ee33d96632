#include "FinishRun.h"

#include "ConsoleText.h"
#include "Journal.h"
#include "PortList.h"
#include "StopSignals.h"
#include "TerminalHost.h"
#include "UploadDriver.h"

#include <cstdio>

namespace {

int Refused(const QString &text) {
  WriteText(stderr, "calvenori-upload: " + QString(text).replace('\r', '\n') + "\n");
  return ExitRefused;
}

// The device the journal recorded for this port, as the upload would name it.
QString JournalDeviceOf(const PortChoice &port) {
  return port.Device.isEmpty() ? PortDeviceName(port.Number) : port.Device;
}

}  // namespace

int FinishUpload(CliOptions options, const QDir &folder) {
  const QString journal = JournalPathFor(folder, options.JournalFile);
  const QString device = JournalDeviceOf(options.Port);
  const std::optional<UnfinishedAttempt> attempt = NewestUnfinished(journal, folder, device);
  if (!attempt)
    return Refused(QStringLiteral("nothing to finish: the journal %1 holds no upload on %2 in %3 that stopped "
                                  "halfway and was not finished since.")
                       .arg(QDir::toNativeSeparators(journal), device.isEmpty() ? QStringLiteral("this port") : device,
                            QDir::toNativeSeparators(folder.absolutePath())));
  const Checked<QString> params =
      FinishFile(attempt->Line.ParameterList, attempt->Line.ParameterListSha256, options.ParameterFile);
  if (!params) return Refused(params.Why + "\rGive that file with --params.");
  QString program;
  if (FinishSendsProgram(*attempt)) {
    const Checked<QString> sent = FinishFile(attempt->Line.ProgramFile, attempt->Line.ProgramFileSha256, options.ProgramFile);
    if (!sent) return Refused(sent.Why + "\rGive that file with --program.");
    program = *sent;
  }
  FinishRequest request{*attempt, options.RestoreFrom};
  if (request.ValuesFrom.isEmpty() && attempt->OwnBackupHoldsValues) request.ValuesFrom = attempt->OwnBackup;
  if (request.ValuesFrom.isEmpty() && attempt->What != Remains::Lock)
    return Refused("no backup holding the identification values of " + DescribeAttempt(*attempt) +
                   " is known: give a backup of this controller with --restore-from FILE.");
  options.ParameterFile = *params;
  options.ProgramFile = program;
  // Before the first byte goes out: an erased controller cannot tell its own numbers.
  WriteText(stdout, QStringLiteral("Finishing %1.\n%2\n%3\n")
                        .arg(DescribeAttempt(*attempt), NeedsText(attempt->Kind, attempt->What),
                             AttemptValuesText(*attempt, request.ValuesFrom)));
  std::fflush(stdout);
  TerminalHost host(options, folder);
  host.SetFinishing(request.ValuesFrom);
  CatchStopSignals();
  const UploadVerdict verdict = RunUpload(host, folder, &request);
  return ExitStatusOf(verdict);
}
