#pragma once
// The backup an upload writes before it changes anything: "tmpLogWin.txt"
// for the technician, an earlier one that differs kept beside it, and the
// upload's own copy, which no later upload replaces.

#include "IdWindows.h"

#include <QDir>
#include <QString>

// What the backup step left in the working folder, for the journal.
struct BackupFiles {
  QString Written;  // the backup's absolute path, once written
  QString KeptAs;   // the file name the earlier backup was kept under, when it was
  QString Own;      // the absolute path of this upload's own copy, once written
};

// How a backup is written: with a copy of its own beside it, named for the
// controller's serial number and the time, which no later upload replaces
// (a finish writes back the values of the attempt it finishes, whose own copy
// is there already).
enum class OwnCopy { Keep, None };

// Writes "tmpLogWin.txt" in `folder`, whole or not at all, keeping an earlier
// one that differs, and the upload's own copy; says what was written and
// kept, or the file that could not be and why.
struct BackupWritten {
  bool Written = false;
  QString Error;  // when not: the file and the reason
  BackupFiles Files;
};
BackupWritten WriteParameterLog(const QDir &folder, const IdBackup &rows, OwnCopy own = OwnCopy::Keep);
QString ParameterLogPath(const QDir &folder);
