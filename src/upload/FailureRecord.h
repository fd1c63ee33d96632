#pragma once
// What goes wrong in an upload: each step keeps a record of its own while it
// runs and returns what it saw as a value (StepResult); the driver adds them
// up into the upload's record, whose flag it acts on and whose count tells
// the technician what Check Errors off let pass.

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
  Failed,    // the flag is raised: the driver stops if Check Errors is on
  LineLost,  // the adapter went away
  Stopped,   // the technician stopped the upload (a stop signal)
};

// A step's ending as a value.
struct StepResult {
  StepEnd End = StepEnd::Done;
  qint32 Failures = 0;  // wrong answers and refused writes, acted on or let pass
  QString Detail;       // what the first failure saw, when its step can tell
  // The step lowers the flag of whatever was flagged before it (monitor-mode
  // entry: the check that follows is the verdict).
  bool ClearsFlag = false;
  bool Failed() const { return End == StepEnd::Failed; }
};

// Two steps that end at one test point: the first one's failure is what is told.
StepResult Together(const StepResult &first, const StepResult &second);

struct FailureRecord {
  // A failure has been flagged since the flag was last cleared.
  bool Flagged = false;
  // Every wrong answer or refused write, acted on or let pass.
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
  // This record as a step's ending, the port's loss first.
  StepResult Result(const SerialPort &port) const;
  // A step's ending added to the upload's record.
  void Take(const StepResult &result);
};
