#include "SmallDisk.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

SmallDisk::SmallDisk(int kib) {
  const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0777";
  mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0;
  if (!mounted_) why_ = QString::fromLocal8Bit(std::strerror(errno));
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
}

void SmallDisk::Fill() const {
  QFile filler(dir_.filePath(".filler"));
  if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return;
  const QByteArray block(4096, 'f');
  while (filler.write(block) == block.size()) {
  }
  // What is left is less than a block; take it a byte at a time.
  while (filler.write("f", 1) == 1) {
  }
}

bool SmallDisk::MakeReadOnly() {
  return ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool SmallDisk::BindFile(const QString &source, const QString &name) {
  QFile target(dir_.filePath(name));
  if (!target.open(QIODevice::WriteOnly)) return false;
  target.close();
  return ::mount(QFile::encodeName(source).constData(), QFile::encodeName(target.fileName()).constData(), nullptr,
                 MS_BIND, nullptr) == 0;
}
