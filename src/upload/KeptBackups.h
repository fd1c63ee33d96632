#pragma once
// Earlier backups are kept beside "tmpLogWin.txt" rather than replaced, and
// the one holding the last values read from a controller can be named.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>

#include <optional>

// "tmpLogWin-20261207-193012.txt" for a backup last modified then (local
// time); the n-th of one second (n > 1) gets "-n" before ".txt".
QString KeptBackupName(const QDateTime &modified, int n = 1);

// Before "tmpLogWin.txt" in `folder` is replaced by `next`: an existing one
// whose content differs is copied beside it, whole or not at all, under its
// kept name and with its modification time. Identical content makes no new
// file. False, with both paths and the reason in *error, when it cannot be kept.
bool KeepEarlierBackup(const QDir &folder, const QByteArray &next, QString *error);

struct RescueBackup {
  QString Path;
  QDateTime Saved;
};

// When "tmpLogWin.txt" in `folder` holds a read failure: the newest kept
// backup that holds none.
std::optional<RescueBackup> RescueBackupIn(const QDir &folder);

// The line telling the technician which kept file holds the last values read
// from a controller (current directory); empty when "tmpLogWin.txt" does.
QString RescueBackupLine();
