// Draws the images that ship beside the program, offscreen and from the
// program's own code: the menu icon and the README's main window picture.
//
//   calvenori-render icon <size> <file.png>
//   calvenori-render screenshot <file.png>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTextStream>

#include "AppIcon.h"
#include "MainWindow.h"

namespace {

// The icon is 16x16 pixel art; larger sizes repeat its pixels rather than blur them.
bool WriteIcon(int size, const QString &file) {
  const QImage art = AppIcon().pixmap(16, 16).toImage();
  return art.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(file);
}

bool WriteScreenshot(const QString &file) {
  MainWindow window;
  window.OpenFileDialog = [](QWidget *, const QString &, const QString &) {
    return QStringLiteral("/home/service/lists/P2140-R07.txt");
  };
  window.findChild<QPushButton *>(QStringLiteral("cmdParameterPath"))->click();
  window.show();
  return window.grab().save(file);
}

int Usage() {
  QTextStream(stderr) << "usage: calvenori-render icon <size> <file.png>\n"
                         "       calvenori-render screenshot <file.png>\n";
  return 2;
}

}  // namespace

int main(int argc, char *argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  bool ok = false;
  if (args.size() == 3 && args[0] == "icon")
    ok = WriteIcon(args[1].toInt(), args[2]);
  else if (args.size() == 2 && args[0] == "screenshot")
    ok = WriteScreenshot(args[1]);
  else
    return Usage();
  if (!ok) QTextStream(stderr) << "could not write " << args.last() << "\n";
  return ok ? 0 : 1;
}
