#include "AppIcon.h"

// The resource lives in a static library; nothing would pull it into the
// executable unless it is registered by name.
static void RegisterIconResource() { Q_INIT_RESOURCE(icons); }

QIcon AppIcon() {
  RegisterIconResource();
  return QIcon(QStringLiteral(":/icons/calvenori.xpm"));
}
