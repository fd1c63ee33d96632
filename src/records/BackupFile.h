#pragma once
// The backup file's layout, written and read here and nowhere else: nine
// lines, each a window's label, two tabs and its value, ended by CR LF, in
// table order. And what a backup's values say: whose they are, and whether
// they are anyone's at all.

#include "IdWindows.h"
#include "Verdict.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// The file's content for `rows`.
QByteArray BackupText(const IdBackup &rows);

// The value a backup's content holds for `row`; empty when it lacks the line.
QByteArray BackupValue(const QByteArray &backup, int row);

// An erased controller's application answers every identification window
// with zero or an empty text: valid replies, but no one's values.
bool IsBlankValue(const QByteArray &value);
// A backup's content holds no controller's values: a read failure, or every
// window blank.
bool HoldsNoValues(const QByteArray &backup);

// Which controller a backup's values belong to, as its label shows them.
struct BackupIdentity {
  QByteArray ControllerPartNumber;    // window 319
  QByteArray ControllerSerialNumber;  // window 323
  QByteArray PumpSerialNumber;        // window 322
};
BackupIdentity IdentityOf(const QByteArray &backup);
// "Controller P/N 4711, Controller S/N C-88, Pump S/N P-77"
QString DescribeIdentity(const BackupIdentity &identity);

using BackupValues = std::array<QByteArray, IdWindowCount>;
// The nine values of a backup file, in table order, to be written back
// instead of those read at the start; or why not, naming the file (and the
// line), when it cannot be read, lacks a window or holds no controller's values.
Checked<BackupValues> ReadBackupFile(const QString &path);

// The whole of a file, or false with the system's reason.
bool ReadWholeFile(const QString &path, QByteArray &content, QString *reason);
