#include "Version.h"

QString FormatVersion(int major, int minor, int revision) {
  return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString AppVersion() {
  return FormatVersion(CALVENORI_VERSION_MAJOR, CALVENORI_VERSION_MINOR, CALVENORI_VERSION_PATCH);
}
