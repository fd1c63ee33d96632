#include <QApplication>

#include "AppIcon.h"
#include "Message.h"
#include "frmMain.h"

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(AppTitle));
  QApplication::setDesktopFileName(QStringLiteral("calvenori-uploader"));
  QApplication::setWindowIcon(AppIcon());

  frmMain window;
  window.show();
  return app.exec();
}
