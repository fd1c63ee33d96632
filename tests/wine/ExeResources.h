// What Explorer reads from a Windows program's resources, read on Linux from
// the file itself: the version resource's strings and numbers, and whether
// an icon is there.
#pragma once

#include <QMap>
#include <QString>

#include <optional>

struct ExeResources {
  QMap<QString, QString> Strings;  // "ProductName" -> "Calvenori Uploader"
  QString FixedFileVersion;         // "1.5.0.0", from the binary part
  bool HasIcon = false;
};

// The resources of the PE file at `path`, or nothing with `error` set.
std::optional<ExeResources> ReadExeResources(const QString &path, QString *error);
