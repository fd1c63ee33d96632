#pragma once
// One upload, or finish, as it runs: what its stages share, the stages, and
// the ways a stage ends it. Only the driver's own files include this.

#include "FailureRecord.h"
#include "FirstContact.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "IdentificationRestore.h"
#include "InputFile.h"
#include "Session.h"
#include "StepProgress.h"
#include "UnfinishedUpload.h"
#include "UploadHost.h"

#include <QDir>
#include <QString>

#include <optional>

// The parameter list and the program file as read at the start, once, and
// checked before the port opens: what every stage sends, and what the
// journal's checksums are of.
struct UploadInputs {
  Checked<InputFile> List, Program;  // the program file when it is sent; or why it could not be read
  qint32 ListCrc = 0;                      // the list's third line's, sent in the parameter-only mode
};

struct Upload {
  Upload(Session &s, const FinishRequest *request);
  Session &session;  // the folder, the journal, the port and the last messages
  UploadHost &host;
  SerialPort &port;
  StepProgress progress;
  QDir folder;                  // the working folder: backups, journal, lock
  const FinishRequest *finish;  // the attempt this run finishes; null: an upload as chosen
  UploadKind kind;
  bool checkErrors;
  UploadInputs inputs;
  QByteArray tag;               // the boot monitor's prompt tag, once bridged into it
  BackupFiles backupFiles;      // what the backup step wrote and kept
  FailureRecord record;         // every step's failures, added up
  IdBackup rows = BlankBackup();
  std::optional<Stage> last;    // the last stage completed, by this run or the attempt it finishes
  FirstContact contact;         // a finish: what answered first
  bool endedByHost = false;
  QString ending;     // the journal's words for the first ending the technician is told of
  QString valuesFrom;  // the backup file whose values replace those read, when they are not the controller's own
  RestoreRound lastRound = RestoreRound::Written;
  bool restoreSent = false;  // the restore dialog's last showing wrote its values
  bool programHole = false;  // a record was let pass: the program, and all after it, do not count as done
  bool busy = false;         // the host was told so, and is told again when it is not
  std::optional<Stage> running;  // the stage of the sequence running now; none: a finish's first look
  int comebacks = 0;             // times the port went away and was waited for
  QString comebackEnd;           // why the port, lost, did not come back as it was
};

// How a stage ended the upload; nothing: the next stage follows.
using Ending = std::optional<UploadResult>;

// The ways an upload ends (UploadEndings.cpp).
// The host's reason (HostEndingText), the state and the way on.
UploadResult HostEnded(Upload &up);
// A message that says all there is to say, and the journal's words for it.
UploadResult EndSaying(Upload &up, const QString &text, const QString &ending);
// Any other ending short of success: followed by what the controller needs.
UploadResult EndWithMessage(Upload &up, const QString &text, const QString &ending);
UploadResult Succeeded(Upload &up, const QString &text);
// The interruption at a test point after the step named `step`.
UploadResult AbortUpload(Upload &up, const QString &step);
// "interrupted: " and the reason's first line.
QString EndingFor(const QString &reason);
// The adapter went away or a stop signal came: nothing more is sent.
Ending LinkEnded(Upload &up);
// A step's result added up, then the test point after it.
Ending TestPoint(Upload &up, const StepResult &result, const QString &step);
Remains RemainsNow(const Upload &up);
// What the controller needs now and the one way on, after a line end; empty
// when a plain upload is all it needs.
QString WayOn(Upload &up);
// A window that got no byte back: the line or the controller's power.
QString NotAnswering(UploadHost &host);

// The stages of the two sequences (UploadStages.cpp).
Ending SaveIdentification(Upload &up);
Ending BridgeIntoBootMonitor(Upload &up);
Ending WriteBackup(Upload &up);
Ending ProgramController(Upload &up);
Ending RemoveBridge(Upload &up);
Ending SendFullUploadCrc(Upload &up);
Ending EnterMonitor(Upload &up);
Ending SendListCrc(Upload &up);
Ending TransferParameters(Upload &up);
Ending LeaveMonitor(Upload &up);
Ending RestoreIdentification(Upload &up);
Ending Lock(Upload &up);
// The monitor-mode check, whatever Check Errors says, before "C", "E" or "R".
Ending CheckInMonitor(Upload &up);
// Power-cycle prompts, the bridge removed, until no boot monitor's tag answers.
Ending Unbridge(Upload &up);

// The stages only a finish has (FinishStages.cpp).
Ending ContactForFinish(Upload &up);
Ending ReachParameterMonitor(Upload &up);
Ending ReachApplication(Upload &up);
