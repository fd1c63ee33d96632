#pragma once
// Looking at a controller without changing it: identify (what it is) and
// verify (whether its parameter memory holds a parameter list). Both run on
// an UploadHost, the window or the terminal, and add a journal line.

#include "ControllerIdentity.h"
#include "ParameterComparison.h"
#include "UploadDriver.h"

struct IdentifyRun {
  UploadResult Result = UploadResult::Refused;  // Uploaded: the port opened and was asked
  ControllerIdentity Identity;
  bool Answered() const { return Result == UploadResult::Uploaded && Identity.Answered(); }
};

// Opens the host's port, identifies, closes it. Says nothing of the identity
// itself (the host shows it); only of a refusal or a port that does not open.
IdentifyRun RunIdentify(UploadHost &host, const QDir &folder);

struct VerifyRun {
  UploadResult Result = UploadResult::Refused;  // Uploaded: compared to the end
  ControllerIdentity Identity;
  ParameterComparison Comparison;
  QString LockNote;  // what became of the lock, when the power cycle undid it
  bool Equal() const { return Result == UploadResult::Uploaded && Comparison.AllEqual(); }
};

// The host's parameter list against the controller: into the monitor as the
// parameter-list upload goes, every byte the list covers read back, then out
// of it as an upload ends; the lock left as found. The report goes to
// host.Uploaded().
VerifyRun RunVerify(UploadHost &host, const QDir &folder);

// The journal's words for how each ended.
QString IdentifyOutcome(const IdentifyRun &run);
QString VerifyOutcome(const VerifyRun &run);
