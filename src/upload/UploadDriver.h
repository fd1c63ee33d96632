#pragma once
// One press of "Start Upload" turned into a complete upload: the file and
// port checks, the two sequences with the technician's prompts, the test
// points, the interruption message and the restore loop.

#include "UploadHost.h"

#include <QDir>
#include <QString>

// How the journal and the demo name a result: "uploaded", "port not opened", ...
QString ResultWords(UploadResult result);

// How an upload ended, and whether the journal holds its line (when it does
// not, the technician was told so before the last message, unless the upload
// was refused before the port: that refusal says what is wrong already).
struct UploadVerdict {
  UploadResult Result = UploadResult::Refused;
  bool Journalled = false;
};

// One press of Start Upload, from the checks to the last message.
UploadVerdict RunUpload(UploadHost &host, const QDir &folder);
// The click of cmdStartDownload.
UploadResult StartUpload(UploadHost &host, const QDir &folder);

// The texts the technician is shown, lines joined by CR.
// `withRescue`: followed by the line naming a kept backup when the latest one
// holds no controller's values.
QString InterruptionText(const QString &step, const QDir &folder, bool withRescue = true);
// The interruption message's last two lines, pointing at the backup.
QString InterruptionTail(const QDir &folder, bool withRescue = true);
QString BackupPathForMessage(const QDir &folder);
// The power-cycle prompt, again while the controller still answers as the
// monitor: how an upload, and a verification, leave the monitor.
PromptAnswer AskToLeaveMonitor(UploadHost &host);
// A window that got no byte back on `portName`: the line or the power, not the values.
QString NotAnsweringText(const QString &portName);
// `reason` in the system's words; `fault` picks the one tip that fits it, if any.
QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, OpenFault fault);
// How a program lets the technician pick a port, as the tips say it.
struct PortPicking {
  QString Again;    // the same port, once plugged in
  QString Another;  // another port
};
// The one tip for what the system said of a port that did not open; empty
// where it said something no tip fits.
QString OpenFaultTip(OpenFault fault, const PortPicking &picking);
