#pragma once
// What a technician should see and what the controller should have received
// during a whole upload, for the end-to-end tests. Message texts are given the
// way the Technician records them: lines joined by "\n".

#include "ProgramTexts.h"
#include "SimulatedController.h"
#include "TestFiles.h"
#include "UploadStage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>

namespace expect {

// Few bytes: every parameter exchange that fails costs a 0.5 s wait.
QByteArray SmallList(qint64 crc = 4660);

// The technician's choices on either rig; the program file only matters in the full mode.
template <typename Rig>
void Choose(Rig &rig, bool full, bool checkErrors, const QByteArray &list, const QByteArray &program = {}) {
  if (full) {
    rig.ChooseFullMode();
    rig.ChooseProgramFile(rig.Write("fw.s19", program.isEmpty() ? ProgramFile(12) : program));
  }
  rig.ChooseParameterList(rig.Write("list.txt", list));
  if (checkErrors) rig.TickCheckErrors();
}

using texts::BridgePrompt;
using texts::BridgeRemovalPrompt;
using texts::PowerCyclePrompt;
using texts::StillInMonitorPrompt;
using texts::RepeatRestorePrompt;
using texts::FullSuccess;
using texts::ParameterSuccess;

// The interruption message for `step`, pointing at the backup file in `workDir`.
QString Interruption(const QString &workDir, const QString &step);
// The upload's own copy of its backup in `workDir` (backup-*.txt), as the
// process names it; empty when there is none, or more than one.
QString OwnBackupIn(const QString &workDir);
// The window's line saying how to finish, with the values of `valuesFrom`.
QString FinishInWindow(const QString &valuesFrom);
// The window's line saying how a full upload with a backup finishes the job.
QString RescueInWindow(const QString &backup);
// What an ending adds where the controller needs `remains`: what it needs and
// the way on, the values from the upload's own backup in `workDir`; empty
// where it needs nothing but a plain upload.
QString WayOn(const QString &workDir, bool full, Remains remains);
// What an interruption at `step` leaves to do.
Remains RemainsAt(const QString &step);
inline QString WayOnAfter(const QString &workDir, bool full, const QString &step) {
  return WayOn(workDir, full, RemainsAt(step));
}
// "<workDir>/tmpLogWin.txt" as the process sees its current directory.
QString BackupPath(const QString &workDir);
// The success message with the ignored-failures line, or without it for 0.
QString Success(const QString &success, int ignoredFailures);

int Count(const QStringList &messages, const QString &text);
bool AnyStartsWith(const QStringList &messages, const QString &prefix);

// The nine identification windows, by number, as the controller holds them.
std::map<int, QByteArray> IdentificationOf(const sim::SimulatedController &controller);
QList<int> IdentificationWindowNumbers();
// The backup file a complete backup of these values produces.
QByteArray BackupFileOf(const std::map<int, QByteArray> &values);

// Window protocol requests the controller received, decoded.
struct WindowRequest {
  int Window = 0;
  bool Write = false;
  QByteArray Data;
};
QList<WindowRequest> WindowRequestsOf(const sim::SimulatedController &controller);
QList<int> WrittenWindows(const sim::SimulatedController &controller);  // in order, repeats kept
int ReadsOf(const sim::SimulatedController &controller, int window);

// Boot and parameter monitor commands that begin with `prefix` and have `length` bytes (-1: any).
int MonitorCommandCount(const sim::SimulatedController &controller, const QByteArray &prefix, int length = -1);

}  // namespace expect
