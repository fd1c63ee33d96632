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

// The folder's upload lock, held until it is destroyed; a lock left by a
// process that has died is taken over. Null, with the reason in *refusal,
// when another upload holds it or it cannot be made.
std::unique_ptr<QLockFile> LockFolder(const QDir &folder, QString *refusal);
