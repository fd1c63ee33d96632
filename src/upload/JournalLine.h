#pragma once
// The journal line of one press of Start Upload: opened as the upload starts,
// told how far it got and how it ended, written as it goes out of scope
// (whichever way the upload ends) while the folder
// lock it holds is still held.

#include "Journal.h"
#include "UploadDriver.h"
#include "IdWindows.h"

#include <QDateTime>
#include <QLockFile>
#include <QString>

#include <memory>


class JournalLine {
 public:
  explicit JournalLine(UploadHost &host);
  ~JournalLine();
  JournalLine(const JournalLine &) = delete;
  JournalLine &operator=(const JournalLine &) = delete;

  // The folder lock, released only once the line is written.
  void Hold(std::unique_ptr<QLockFile> lock) { lock_ = std::move(lock); }
  // Before the port opens: false, the host told and no line written, when the
  // journal cannot take one.
  bool Usable();
  void PortOpening() { opening_ = true; }
  void PortOpened() { started_ = true; }
  // Once the steps have run: the backup they read, the failures counted,
  // whether the host ended the upload (then the host names the ending), and
  // the words for the ending the technician was told of, if any.
  void NoteUpload(const IdBackup &rows, int failures, bool endedByHost, const QString &ending) {
    rows_ = rows;
    failures_ = failures;
    endedByHost_ = endedByHost;
    ending_ = ending;
  }
  void NoteResult(UploadResult result) { result_ = result; }

  QString Path() const { return path_; }

 private:
  void Complete();

  UploadHost &host_;
  JournalEntry entry_;
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool unusable_ = false, opening_ = false, started_ = false;
  QString ending_;
  UploadResult result_ = UploadResult::Refused;
  IdBackup rows_ = BlankBackup();
  int failures_ = 0;
  bool endedByHost_ = false;
  QDateTime backupModified_;
  QStringList keptBefore_;
};
