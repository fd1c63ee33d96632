#pragma once
// The command line of calvenori-upload and its exit statuses.

#include "PortChoice.h"

#include <QString>
#include <QStringList>

enum ExitStatus {
  ExitUploaded = 0,
  ExitRefused = 2,        // a refused option, file or answer: nothing was sent
  ExitPortNotOpened = 3,
  ExitInterrupted = 4,    // a test point, a failed action or prompt, a refused restore
  ExitConnectionLost = 5,
  ExitNotJournalled = 6,  // uploaded, but its line could not be added to the journal
  ExitDiffers = 7,        // --verify: the controller's parameter memory differs from the list
  ExitLockNotRestored = 8,  // --verify: the memory is equal, but a lock the power cycle undid could not be written again
};

enum class RestoreMode { Ask, Keep, Skip };

struct CliOptions {
  PortChoice Port;
  QString ParameterFile;
  QString ProgramFile;                 // empty: parameter list only
  bool CheckErrors = true;
  QString TraceFile;
  RestoreMode Restore = RestoreMode::Keep;
  bool RestoreGiven = false;           // else ask on a terminal, keep otherwise
  QString RestoreFrom;                 // a backup file whose values are written back instead
  QString Actions;
  QString JournalFile;                 // empty: calvenori-uploads.csv in the working folder
  bool History = false;                // print the journal instead of uploading
  bool Identify = false;               // read what the controller is instead of uploading
  bool Verify = false;                 // compare the controller with --params instead of uploading
  bool Finish = false;                 // finish the upload left unfinished on this port and in this folder
  QString Folder;                      // the working folder; empty: the current directory
  int PortWaitSeconds = 60;            // how long a pulled adapter is waited for; 0: not at all
  bool Help = false;
  bool Version = false;
};

// `args` without the program name. False with the reason for a bad line.
bool ParseCliOptions(const QStringList &args, CliOptions &out, QString *error);

QString CliHelpText();
