#include "BackupFile.h"

#include "WindowReply.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <utility>

namespace {

// A line of a backup is its label, two tabs and the value.
QList<std::pair<QByteArray, QByteArray>> LabelledValues(const QByteArray &backup) {
  QList<std::pair<QByteArray, QByteArray>> rows;
  for (const QByteArray &line : backup.split('\n')) {
    const qsizetype tabs = line.indexOf("\t\t");
    if (tabs >= 0) rows.append({line.left(tabs), line.mid(tabs + 2).chopped(line.endsWith('\r') ? 1 : 0)});
  }
  return rows;
}

}  // namespace

QByteArray BackupText(const IdBackup &rows) {
  QByteArray text;
  for (int r = 0; r < IdWindowCount; ++r) text += QByteArray(IdWindowLabels[r]) + "\t\t" + rows[r].Value + "\r\n";
  return text;
}

QByteArray BackupValue(const QByteArray &backup, int row) {
  for (const auto &[label, value] : LabelledValues(backup))
    if (label == IdWindowLabels[row]) return value;
  return {};
}

bool ReadWholeFile(const QString &path, QByteArray &content, QString *reason) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) content = file.readAll();
  if (file.error() == QFileDevice::NoError) return true;
  if (reason) *reason = file.errorString();
  return false;
}

bool IsBlankValue(const QByteArray &value) {
  QByteArray v = value.trimmed();
  if (v.isEmpty()) return true;
  if (v.startsWith('+') || v.startsWith('-')) v.remove(0, 1);
  for (char c : v)
    if (c != '0' && c != '.') return false;
  return v.contains('0');
}

bool HoldsNoValues(const QByteArray &backup) {
  const auto rows = LabelledValues(backup);
  bool allBlank = true;
  for (const auto &row : rows) {
    if (IsFailureText(row.second)) return true;
    allBlank = allBlank && IsBlankValue(row.second);
  }
  return allBlank;
}

BackupIdentity IdentityOf(const QByteArray &backup) {
  return {BackupValue(backup, ControllerPartNumberRow), BackupValue(backup, ControllerSerialNumberRow),
          BackupValue(backup, PumpSerialNumberRow)};
}

QString DescribeIdentity(const BackupIdentity &identity) {
  const auto shown = [](const QByteArray &v) { return v.isEmpty() ? QStringLiteral("(empty)") : QString::fromLatin1(v); };
  return QStringLiteral("Controller P/N %1, Controller S/N %2, Pump S/N %3")
      .arg(shown(identity.ControllerPartNumber), shown(identity.ControllerSerialNumber),
           shown(identity.PumpSerialNumber));
}

Checked<BackupValues> ReadBackupFile(const QString &path) {
  const QString shown = QDir::toNativeSeparators(path);
  const auto fail = [](const QString &why) { return Checked<BackupValues>::Refused(why); };
  QByteArray content;
  QString reason;
  if (!ReadWholeFile(path, content, &reason)) return fail(QStringLiteral("Backup file %1 cannot be read: %2.").arg(shown, reason));
  const auto rows = LabelledValues(content);
  BackupValues values;
  for (int row = 0; row < IdWindowCount; ++row) {
    const auto found = std::find_if(rows.begin(), rows.end(), [row](const auto &r) { return r.first == IdWindowLabels[row]; });
    if (found == rows.end())
      return fail(QStringLiteral("Backup file %1: there is no line \"%2\" followed by two tabs and the value.")
                      .arg(shown, QString::fromLatin1(IdWindowLabels[row])));
    values[row] = found->second;
  }
  if (HoldsNoValues(content))
    return fail(QStringLiteral("Backup file %1 holds no controller's values: a window could not be read, or every "
                               "window is zero or empty.")
                    .arg(shown));
  return {values, {}};
}
