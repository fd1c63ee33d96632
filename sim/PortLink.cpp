#include "PortLink.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace sim {

#ifdef _WIN32

bool PointLink(const QString &link, const QString &, QString *error) {
  if (error) *error = QStringLiteral("cannot make the link %1: Windows has no links for ports").arg(link);
  return false;
}

void RemoveLink(const QString &, const QString &) {}

#else

bool PointLink(const QString &link, const QString &target, QString *error) {
  const QByteArray path = link.toLocal8Bit();
  struct stat there;
  if (::lstat(path.constData(), &there) == 0 && S_ISLNK(there.st_mode)) ::unlink(path.constData());
  if (::symlink(target.toLocal8Bit().constData(), path.constData()) == 0) return true;
  if (error)
    *error = QStringLiteral("cannot make the link %1: %2").arg(link, QString::fromLocal8Bit(std::strerror(errno)));
  return false;
}

void RemoveLink(const QString &link, const QString &target) {
  const QByteArray path = link.toLocal8Bit();
  char named[4096];
  const ssize_t n = ::readlink(path.constData(), named, sizeof named);
  if (n > 0 && QByteArray(named, int(n)) == target.toLocal8Bit()) ::unlink(path.constData());
}

#endif

}  // namespace sim
