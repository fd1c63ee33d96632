#pragma once
// What the working folder must offer before the port is opened: room for the
// backup the upload will write, and no other upload using the same backup.

#include <QDir>
#include <QLockFile>
#include <QString>

#include <memory>

// Empty when a file can be created and removed in `folder` and it has room
// for a new backup and a kept copy of the one there; otherwise the reason.
QString FolderUnfitReason(const QDir &folder);

// The folder's upload lock, held until it is destroyed, taken before the
// folder is looked at: a second upload is refused naming the first instead of
// tripping over its check. Then the folder must be fit (FolderUnfitReason). A
// lock left by a process that has died is taken over. No lock, and the
// reason, when another upload holds it, it cannot be made or the folder is unfit.
struct FolderClaim {
  std::unique_ptr<QLockFile> Lock;
  QString Refusal;  // when there is no lock
};
FolderClaim ClaimFolder(const QDir &folder);
