#pragma once
// A full upload that stopped after the erase leaves a controller that starts
// only into a monitor and has lost its identification values: only a full
// upload that writes back the values of the backup saved before the erase
// brings it back. This finds that backup.

#include "KeptBackups.h"

#include <QDateTime>
#include <QDir>
#include <QString>

#include <optional>

struct FinishingBackup {
  QString Path;
  QDateTime Saved;
  BackupIdentity Identity;
};

// The newest backup in `folder` that holds the values of the controller whose
// full upload, by the journal at `journalPath`, stopped after the erase: the
// newest full upload there that wrote a backup and did not finish.
std::optional<FinishingBackup> BackupToFinishWith(const QDir &folder, const QString &journalPath);

// The backup a full upload that stops now should be finished with: the one
// this upload wrote when it holds values, else the newest kept one that does.
QString BackupForFinishing(const QDir &folder);

// "/work/tmpLogWin.txt, saved 2026-12-09 10:31:02 (Controller P/N 4711, ...)"
QString DescribeFinishingBackup(const FinishingBackup &backup);
