#pragma once
// What one upload has seen go wrong: the failures counted for the closing
// message, the flag the driver acts on, and the first thing a step could say
// about a failure. One lives for each press of Start Upload.

#include <QString>

class SerialPort;

// How a recorded failure raises the flag.
enum class FlagRule {
  WhileCheckingErrors,  // only while Check Errors is on: a step's wrong answer
  Always,               // whatever Check Errors holds: a window write refused, the
                        // monitor gone or never known
  CountOnly,            // a check the driver acts on by its own test
};

// How a step ended.
enum class StepEnd {
  Done,
  Failed,    // the record's flag is raised: the driver stops if Check Errors is on
  LineLost,  // the adapter went away
  Stopped,   // the technician stopped the upload (a stop signal)
};

struct StepOutcome {
  StepEnd End = StepEnd::Done;
  QString Detail;  // Failed: what the step saw, when it can tell
};

struct FailureRecord {
  // A failure has been flagged since the flag was last cleared.
  bool Flagged = false;
  // Every wrong answer or refused write, acted on or let pass; tells the
  // technician what Check Errors off hid.
  qint32 Count = 0;
  // One line on what the failure that stops an upload saw, when its step can
  // tell (the read-back's address, byte written and reply); empty otherwise.
  QString Detail;

  // Counts the failure and raises the flag when `rule` says so; true when it
  // did, and the step stops. `detail` is kept when no failure has been flagged
  // or described before it.
  bool Record(FlagRule rule, bool checkErrors = false, const QString &detail = {});
  // After a message that ends an upload, or before the restore dialog again.
  void ClearFlag(bool withDetail = false) {
    Flagged = false;
    if (withDetail) Detail.clear();
  }
  // The step's ending as the driver reads it, the port's loss first.
  StepOutcome Outcome(const SerialPort &port) const;
};
