#pragma once
// The one place where the upload layer records a failure: counted for the
// closing message, and flagged in ErrorFlag by the rule its caller names.

#include <QString>
#include <QtGlobal>

// How a recorded failure reaches ErrorFlag.
enum class FlagRule {
  WhileCheckingErrors,  // only while CheckErrors is set: a step's wrong answer
  Always,               // whatever CheckErrors holds: the monitor is gone or was never known
  CountOnly,            // a window write, which the link has flagged itself, or a
                        // check the driver acts on by its own test
};

// Counts the failure and sets ErrorFlag to -1 when `rule` says so; true when
// it did, and the step stops. `checkErrors` (the caller's CheckErrors) is read
// by WhileCheckingErrors only. `detail`, one line on what the step saw, is
// kept when no failure has been flagged or described before it.
bool RecordFailure(FlagRule rule, qint16 checkErrors = 0, const QString &detail = {});

// Start Upload: ErrorFlag, the count and the detail cleared.
void ClearFailureRecord();

// Every wrong answer or failed write seen since Start Upload, whether it was
// acted on or let pass; tells the technician what "Check Errors" off hid.
extern qint32 FailureCount;

// One line on what the failure that stops an upload saw, when its step can
// tell (the read-back's address, byte written and reply); empty otherwise.
extern QString FailureDetail;
