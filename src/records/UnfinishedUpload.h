#pragma once
// An upload that stopped halfway leaves a controller that needs the rest of
// it: the journal line of every attempt names the last stage it completed
// and its own copy of the backup it wrote. This finds, for a port and a
// working folder, the newest attempt whose controller no later upload
// finished, and what it leaves to do.

#include "Verdict.h"
#include "Journal.h"
#include "KeptBackups.h"
#include "UploadStage.h"

#include <QDateTime>
#include <QDir>
#include <QString>

#include <optional>

struct UnfinishedAttempt {
  JournalEntry Line;
  UploadKind Kind = UploadKind::Full;
  std::optional<Stage> LastCompleted;
  Remains What = Remains::Everything;
  QString OwnBackup;               // absolute; empty when the line names none
  bool OwnBackupHoldsValues = false;
  BackupIdentity Identity;         // the controller, as its own backup (or else its line) names it
  bool CanBeFinished() const { return What != Remains::Nothing && What != Remains::Everything; }
};

// The attempt a journal line records; none for a line that is no upload's.
std::optional<UnfinishedAttempt> AttemptOf(const JournalEntry &line);

// The newest attempt in the journal at `journalPath` on the port `device` and
// in `folder` that can be finished, unless a later upload of the same
// controller (its part and serial numbers) completed.
std::optional<UnfinishedAttempt> NewestUnfinished(const QString &journalPath, const QDir &folder,
                                                  const QString &device);

// Whether two names of a port (paths, links, COMn) name the same device.
bool SamePort(const QString &a, const QString &b);

// What a finish asks for: the attempt, and the backup whose values it writes
// back (its own, or one the technician names); empty where it has none.
struct FinishRequest {
  UnfinishedAttempt Attempt;
  QString ValuesFrom;
};

// The files a finish sends, as the attempt began with them: `chosen` when it
// has the checksum the attempt's line records, else the line's own path when
// that still has it; or why neither does.
Checked<QString> FinishFile(const QString &recorded, const QString &recordedSha256, const QString &chosen);

// Whether the finish of `attempt` sends the program file again.
bool FinishSendsProgram(const UnfinishedAttempt &attempt);

// "the full upload of 2026-12-09 10:31:02 on /dev/ttyUSB0"
QString DescribeAttempt(const UnfinishedAttempt &attempt);
// The numbers to check against the pump's label, and the backup they are in.
QString AttemptValuesText(const UnfinishedAttempt &attempt, const QString &valuesFrom);

struct FinishingBackup {
  QString Path;
  QDateTime Saved;
  BackupIdentity Identity;
};

// For a full upload a monitor answered instead of the application: the own
// backup of the newest unfinished attempt on `device` in `folder` when it
// holds values; for a journal older than the own backups, the newest backup
// in `folder` that holds the values of the controller whose full upload, by
// the journal, wrote a backup and did not finish.
std::optional<FinishingBackup> BackupToFinishWith(const QDir &folder, const QString &journalPath,
                                                  const QString &device);

// "/work/tmpLogWin.txt, saved 2026-12-09 10:31:02 (Controller P/N 4711, ...)"
QString DescribeFinishingBackup(const FinishingBackup &backup);
