#include "IdentificationBackup.h"

#include "FailureRecord.h"
#include "FirstContact.h"
#include "KeptBackups.h"
#include "IdWindows.h"
#include "WindowProtocol.h"
#include "WindowReply.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

WindowReply ReadIdWindow(SerialPort &port, const IdWindow &row) { return ReadWindow(port, row.Win); }

namespace {

// No reply frame answered the first window: ask what answers instead, with
// CRs alone. True when a monitor does, and no window frame may follow.
bool MonitorInstead(SerialPort &port, StoredParameters &stored, bool noByte) {
  stored.Answer = AskWhatAnswers(port);
  stored.FirstUnanswered = noByte && !stored.MonitorAnswered();
  return stored.MonitorAnswered();
}

}  // namespace

StoredParameters StoreControllerParameters(SerialPort &port, StepProgress &progress, bool checkErrors) {
  StoredParameters stored{BlankBackup(), {}, {}, false};
  FailureRecord record;
  progress.Begin(Step::StoringParameters, {Shown, Repainted, Maximum(IdWindowCount), Minimum(0), At(0)});
  for (int r = 0; r < IdWindowCount; ++r) {
    IdWindow &row = stored.Rows[r];
    const qint64 before = port.BytesReceived();
    const WindowReply reply = ReadIdWindow(port, row);
    row.Value = reply.Text;
    row.ReadFailed = reply.Failed();
    // A stray byte (the tail of a transfer that was cut short) is no answer:
    // unless a reply frame came, ask what answers before anything else.
    const bool noFrame = r == 0 && !IsApplicationFrame(reply) && !port.Ended();
    const bool monitor = noFrame && MonitorInstead(port, stored, port.BytesReceived() == before);
    if (row.ReadFailed && (record.Record(FlagRule::WhileCheckingErrors, checkErrors) || monitor)) {
      stored.Result = record.Result(port);
      return stored;
    }
    progress.Set(r + 1);
  }
  progress.Wait(0.2);
  stored.Result = record.Result(port);
  return stored;
}

QString ParameterLogPath(const QDir &folder) { return folder.absoluteFilePath(QString::fromLatin1(BackupFileName)); }

bool WriteParameterLog(const QDir &folder, const IdBackup &rows, QString *error, BackupFiles *files, OwnCopy own) {
  QByteArray text;
  for (int r = 0; r < IdWindowCount; ++r)
    text += QByteArray(IdWindowLabels[r]) + "\t\t" + rows[r].Value + "\r\n";
  // A controller that no longer answers would otherwise replace the last
  // values read from one with failure texts.
  QString keptAs;
  if (!KeepEarlierBackup(folder, text, error, &keptAs)) return false;
  if (files) files->KeptAs = keptAs;
  // Written aside and renamed into place, so an earlier backup is never lost
  // to a half-written one.
  QString reason;
  const QString path = ParameterLogPath(folder);
  if (!WriteFileChecked(path, text, &reason)) {
    if (error)
      *error = QStringLiteral("The backup file %1 could not be written: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
  }
  if (files) files->Written = path;
  if (own == OwnCopy::None) return true;
  const QString ownPath = FreeOwnBackupPath(folder, rows[ControllerSerialNumberRow].Value, QDateTime::currentDateTime());
  if (WriteFileChecked(ownPath, text, &reason)) {
    if (files) files->Own = ownPath;
    return true;
  }
  if (error)
    *error = QStringLiteral("The backup file %1 could not be written: %2").arg(QDir::toNativeSeparators(ownPath), reason);
  return false;
}

bool BackupLooksErased(const IdBackup &rows) {
  bool anyRead = false;
  for (const IdWindow &row : rows) {
    if (row.ReadFailed) continue;
    if (!IsBlankValue(row.Value)) return false;
    anyRead = true;
  }
  return anyRead;
}

BlankVerdict JudgeBlanks(const IdBackup &rows, const KeptValues &kept) {
  BlankVerdict verdict;
  verdict.Erased = BackupLooksErased(rows);
  for (int r = 0; r < IdWindowCount; ++r)
    if (!rows[r].ReadFailed && IsBlankValue(rows[r].Value)) verdict.Suspect[r] = kept[r];
  return verdict;
}

bool BlankVerdict::AnySuspect() const { return !SuspectWindows().isEmpty(); }

QList<int> BlankVerdict::SuspectWindows() const {
  const IdBackup table = BlankBackup();
  QList<int> windows;
  for (int r = 0; r < IdWindowCount; ++r)
    if (Suspect[r]) windows << table[r].Win;
  return windows;
}
