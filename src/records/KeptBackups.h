#pragma once
// Earlier backups are kept beside "tmpLogWin.txt" rather than replaced, and
// the one holding the last values read from a controller can be named.

#include "BackupFile.h"
#include "IdWindows.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>

#include <array>
#include <optional>


// "tmpLogWin-20261207-193012.txt" for a backup last modified then (local
// time); the n-th of one second (n > 1) gets "-n" before ".txt".
QString KeptBackupName(const QDateTime &modified, int n = 1);

// "backup-C23119876-20261209-103102.txt": an upload's own copy of its
// backup, named for the controller's serial number (blanks and characters a
// file name cannot hold become "_"; "unknown" when it has none) and the time.
// Apart from the kept tmpLogWin-*.txt, which only ever hold a replaced one.
QString OwnBackupName(const QByteArray &serialNumber, const QDateTime &when, int n = 1);
// The first such name in `folder` that no file has yet, as an absolute path.
QString FreeOwnBackupPath(const QDir &folder, const QByteArray &serialNumber, const QDateTime &when);

// Before "tmpLogWin.txt" in `folder` is replaced by `next`: an existing one
// whose content differs is copied beside it, whole or not at all, under its
// kept name and with its modification time. Identical content makes no new
// file. False, with both paths and the reason in *error, when it cannot be kept.
// `keptAs`, when given, receives the kept copy's file name when one was made.
bool KeepEarlierBackup(const QDir &folder, const QByteArray &next, QString *error, QString *keptAs = nullptr);

// Writes `content` to `path` aside and renames it into place only once every
// byte has reached the file; then reads it back and compares. On any failure
// whatever stood at `path` is left as it was, and *reason says why.
bool WriteFileChecked(const QString &path, const QByteArray &content, QString *reason);

struct RescueBackup {
  QString Path;
  QDateTime Saved;
  BackupIdentity Identity;
};

// When "tmpLogWin.txt" in `folder` holds no controller's values: the newest
// kept backup that does.
std::optional<RescueBackup> RescueBackupIn(const QDir &folder);

// The line telling the technician which kept file holds the last values read
// from a controller, when and from which controller (current directory);
// empty when "tmpLogWin.txt" holds them itself.
QString RescueBackupLine(const QDir &folder);

// A value a kept backup holds for one window, and the backup it is in.
struct KeptValue {
  QByteArray Value;
  RescueBackup From;
};
using KeptValues = std::array<std::optional<KeptValue>, IdWindowCount>;

// For each window, in table order, the newest kept backup in `folder` that
// holds a controller's value for it: neither zero, empty nor a read failure.
KeptValues KeptValuesIn(const QDir &folder);

// Like RescueBackupLine, one line per kept backup in `kept` and naming the
// windows it holds: "The last values read from a controller for windows 310,
// 323 are in ...". Newest backup first; empty when `kept` names none.
QString KeptValuesLines(const KeptValues &kept);

// Every window that was read is zero or empty, as an erased controller's
// application answers: no one's values, to be neither trusted nor written back
// blind. Rows whose read failed are left out; none read is no verdict.
bool BackupLooksErased(const IdBackup &rows);

// The blanks of a backup judged row by row against the kept backups: a row
// read zero or empty where a kept backup holds a value is suspect on its own,
// as a partly erased or partly restored controller leaves it. Rows whose read
// failed are not judged.
struct BlankVerdict {
  bool Erased = false;  // BackupLooksErased
  KeptValues Suspect;   // per row: the kept value a blank written back would replace
  bool AnySuspect() const;
  QList<int> SuspectWindows() const;
};
BlankVerdict JudgeBlanks(const IdBackup &rows, const KeptValues &kept);
