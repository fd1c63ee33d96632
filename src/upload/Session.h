#pragma once
// What an upload, a finish, an identification and a verification share: the
// working folder's lock and the journal checked before anything is sent, the
// port opened through the host, and one exit that writes the journal line,
// lets go of the folder, then shows the last messages and closes the port.

#include "Journal.h"
#include "UploadHost.h"

#include <QDir>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <memory>

// The sentences in which each kind of session refuses, with %1 and %2 for
// the folder or journal and the reason.
struct SessionTexts {
  QString NotStarted;     // "The upload has not been started."
  QString FolderRefused;  // "The working folder %1 cannot take the backup file tmpLogWin.txt: %2."
  QString NoLine;         // "This upload has no line in it."
};
SessionTexts UploadSessionTexts();
SessionTexts ExaminationSessionTexts();

class Session {
 public:
  Session(UploadHost &host, const QDir &folder, SessionTexts texts);

  UploadHost &Host;
  const QDir Folder;
  const QString JournalPath;

  // The folder's lock, held until the exit, then the journal; false when
  // either refuses (said at the exit).
  bool Ready();
  // Sets the host's port up and opens it; false when it did not open.
  bool OpenPort();
  bool PortTried() const { return portTried_; }
  bool PortOpened() const { return portOpened_; }

  // A message for the exit: an ending's, a refusal's.
  void Say(const QString &text) { closing_ << text; }
  // The closing message of a run that completed, shown after the others.
  void Report(const QString &text) { report_ = text; }

  // The single exit: the line is written as soon as the result is known and
  // the folder let go, so that neither waits on the technician reading the
  // last message, nor is lost when the power goes meanwhile. True when the
  // journal holds the line.
  bool Exit(const JournalEntry &entry);

 private:
  bool Refused(const QString &text);
  SessionTexts texts_;
  std::unique_ptr<QLockFile> lock_;
  QStringList closing_;
  QString report_;
  bool portTried_ = false, portOpened_ = false;
  bool journalUnusable_ = false;  // refused for it: no line can be written
};
