#pragma once
// Looking at a controller without changing it: identify (what it is) and
// verify (whether its parameter memory holds a parameter list). Both run on
// an UploadHost, the window or the terminal, and add a journal line.

#include "ControllerIdentity.h"
#include "ParameterComparison.h"
#include "UploadDriver.h"

struct IdentifyRun {
  UploadResult Result = UploadResult::Refused;  // Uploaded: the port opened and was asked
  bool Journalled = false;
  ControllerIdentity Identity;
  bool Answered() const { return Result == UploadResult::Uploaded && Identity.Answered(); }
};

// Opens the host's port, identifies, closes it. Says nothing of the identity
// itself (the host shows it once the journal has the line); only of a
// refusal, a port that does not open, a lost line or a stop.
IdentifyRun RunIdentify(UploadHost &host, const QDir &folder);

// What became of a lock the power cycle at the end of a verification may undo.
enum class LockAfterVerify {
  Kept,      // as it was (unlocked before, or still locked)
  Relocked,  // undone by the power cycle, written again
  Lost,      // undone, and writing it again failed, or it could not be read
};

struct VerifyRun {
  UploadResult Result = UploadResult::Refused;  // Uploaded: compared to the end
  bool Journalled = false;
  ControllerIdentity Identity;
  ParameterComparison Comparison;
  LockAfterVerify Lock = LockAfterVerify::Kept;
  QString LockNote;  // what became of the lock, when the power cycle undid it
  bool Equal() const { return Result == UploadResult::Uploaded && Comparison.AllEqual(); }
  // Equal, but the controller is not left locked as it was found.
  bool LockNotRestored() const { return Equal() && Lock == LockAfterVerify::Lost; }
};

// The host's parameter list against the controller: into the monitor as the
// parameter-list upload goes, every byte the list covers read back, then out
// of it as an upload ends; the lock left as found. The report goes to
// host.Uploaded().
VerifyRun RunVerify(UploadHost &host, const QDir &folder);

// The journal's words for how each ended.
QString IdentifyOutcome(const IdentifyRun &run);
QString VerifyOutcome(const VerifyRun &run);
