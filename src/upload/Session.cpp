#include "Session.h"

#include "IdWindows.h"
#include "SerialPort.h"
#include "WorkingFolder.h"

namespace {

const QString CR = QStringLiteral("\r");

}  // namespace

SessionTexts UploadSessionTexts() {
  return {QStringLiteral("The upload has not been started."),
          QStringLiteral("The working folder %1 cannot take the backup file ") + BackupFileName + ": %2.",
          QStringLiteral("This upload has no line in it.")};
}

SessionTexts ExaminationSessionTexts() {
  return {QStringLiteral("Nothing was sent."), QStringLiteral("The working folder %1 cannot take the journal line: %2."),
          QStringLiteral("This look at the controller has no line in it.")};
}

Session::Session(UploadHost &host, const QDir &folder, SessionTexts texts)
    : Host(host), Folder(folder), JournalPath(JournalPathFor(folder, host.JournalFile())), texts_(std::move(texts)) {}

bool Session::Refused(const QString &text) {
  Say(text + CR + texts_.NotStarted);
  return false;
}

// The folder's lock comes first, so that a second session is refused naming
// the first instead of tripping over its check; then the journal, under its
// own lock, as an append takes it.
bool Session::Ready() {
  FolderClaim claim = ClaimFolder(Folder);
  lock_ = std::move(claim.Lock);
  if (!lock_) return Refused(texts_.FolderRefused.arg(QDir::toNativeSeparators(Folder.absolutePath()), claim.Refusal));
  const Verdict journal = JournalUsable(JournalPath);
  if (journal) return true;
  journalUnusable_ = true;
  return Refused(QStringLiteral("The upload journal %1 cannot take a line: %2.")
                     .arg(QDir::toNativeSeparators(JournalPath), journal.Why));
}

bool Session::OpenPort() {
  SerialPort &port = Host.Port();
  port.SetPortNumber(Host.ComPort());
  port.SetDevice(Host.ComPortDevice());
  portTried_ = true;
  portOpened_ = Host.OpenPort(port);
  if (!portOpened_) Say(Host.PortOpenFailure(texts_.NotStarted));
  return portOpened_;
}

bool Session::Exit(const JournalEntry &entry) {
  const Verdict written = journalUnusable_ ? Verdict::Refused({}) : AppendToJournal(JournalPath, entry);
  // A refusal before the port has said what is wrong with the folder already.
  if (!written && !journalUnusable_ && portTried_)
    Host.Message(QStringLiteral("The upload journal %1 could not be written: %2.")
                     .arg(QDir::toNativeSeparators(JournalPath), written.Why) +
                 CR + texts_.NoLine);
  lock_.reset();
  for (const QString &text : closing_) Host.Message(text);
  if (!report_.isEmpty()) Host.Uploaded(report_);
  if (portOpened_) {
    Host.Port().Close();
    Host.UploadEnded();
  }
  return written.Ok;
}
