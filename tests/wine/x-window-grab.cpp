// Saves an X window (by its id, as xwininfo gives it) as a PNG file:
//   x-window-grab WINDOW-ID FILE.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  bool ok = false;
  const WId window = argc == 3 ? QString::fromLocal8Bit(argv[1]).toULongLong(&ok, 0) : 0;
  if (!ok) {
    qWarning("usage: x-window-grab WINDOW-ID FILE.png");
    return 2;
  }
  return QGuiApplication::primaryScreen()->grabWindow(window).save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
