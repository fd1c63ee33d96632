#pragma once
// A tmpfs of a few KiB mounted on a folder of its own: a disk that really
// fills up, or is really read-only, for whoever runs the tests (root too,
// as CI does). Mounting needs the right to; without it the test says so.

#include <QString>
#include <QTemporaryDir>

class SmallDisk {
 public:
  explicit SmallDisk(int kib = 64);
  ~SmallDisk();

  bool Mounted() const { return mounted_; }
  QString Why() const { return why_; }  // why it is not mounted
  QString Path() const { return dir_.path(); }
  QString FilePath(const QString &name) const { return dir_.filePath(name); }

  // Takes every byte that is left.
  void Fill() const;
  bool MakeReadOnly();
  // Shows `source`, a file elsewhere, as `name` here (a bind mount): a file
  // that can be written in a folder that, once made read-only, takes no new file.
  bool BindFile(const QString &source, const QString &name);

 private:
  QTemporaryDir dir_;
  bool mounted_ = false;
  QString why_;
};

#define REQUIRE_SMALL_DISK(disk) \
  if (!(disk).Mounted()) QSKIP(qPrintable("a small tmpfs cannot be mounted here: " + (disk).Why()))
