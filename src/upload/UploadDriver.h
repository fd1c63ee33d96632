#pragma once
// One press of "Start Upload" turned into a complete upload: the file and
// port checks, the two sequences with the technician's prompts, the test
// points, the interruption message and the restore loop; or the finish of an
// earlier attempt that stopped halfway, from where it stopped.

#include "UnfinishedUpload.h"
#include "UploadHost.h"
#include "UploadTexts.h"

#include <QDir>
#include <QString>

// How an upload ended, and whether the journal holds its line (when it does
// not, the technician was told so before the last message, unless the upload
// was refused before the port: that refusal says what is wrong already).
struct UploadVerdict {
  UploadResult Result = UploadResult::Refused;
  bool Journalled = false;
};

// One press of Start Upload, from the checks to the last message; with
// `finish`, the stages its attempt left undone, with its values.
UploadVerdict RunUpload(UploadHost &host, const QDir &folder, const FinishRequest *finish = nullptr);
// The click of cmdStartDownload.
UploadResult StartUpload(UploadHost &host, const QDir &folder);

// The power-cycle prompt, again while the controller still answers as the
// monitor: how an upload, and a verification, leave the monitor.
PromptAnswer AskToLeaveMonitor(UploadHost &host);
