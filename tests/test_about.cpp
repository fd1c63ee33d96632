// The About box: the release text with the build's version, once, the
// version's format, and the Licences button's notice.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "AppIcon.h"
#include "FontFit.h"
#include "ModalWatch.h"
#include "Version.h"
#include "AboutDialog.h"
#include "MainWindow.h"

namespace {

struct AboutSeen {
  QString text;
  QString title;
  QSize clientSize;
  Qt::WindowFlags flags;
  int pointSize = 0;
  Qt::Alignment alignment;
  bool wraps = false;
  bool fits = false;
  QImage icon;
  QRect release, ok, licences;  // where the label and the buttons are
  QString notice;               // what the Licences button showed
};

// Opens the box from the menu, notes what it shows, what its Licences button
// shows, and closes it with OK.
AboutSeen ShowAboutFromMenu(MainWindow &window) {
  AboutSeen seen;
  auto shown = OnNextModal<AboutDialog>([&](AboutDialog *about) {
    const auto *label = about->findChild<QLabel *>(QStringLiteral("lblRelease"));
    auto *licences = about->findChild<QPushButton *>(QStringLiteral("cmdLicences"));
    seen.release = label->geometry();
    seen.ok = about->findChild<QPushButton *>(QStringLiteral("cmdOk"))->geometry();
    seen.licences = licences->geometry();
    auto told = OnNextModal<QMessageBox>([&](QMessageBox *box) {
      seen.notice = box->text();
      box->accept();
    });
    QTest::mouseClick(licences, Qt::LeftButton);
    if (!*told) qWarning("the Licences button showed nothing");
    seen.text = label->text();
    seen.title = about->windowTitle();
    seen.clientSize = about->size();
    seen.flags = about->windowFlags();
    seen.pointSize = label->font().pointSize();
    seen.alignment = label->alignment();
    seen.wraps = label->wordWrap();
    seen.fits = CaptionsFit(label->font(), {{label->text(), label->geometry(), true}});
    seen.icon = about->windowIcon().pixmap(16, 16).toImage();
    QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("cmdOk")), Qt::LeftButton);
  });
  window.findChild<QAction *>(QStringLiteral("mnuVersion"))->trigger();
  if (!*shown) qWarning("the About box did not show");
  return seen;
}

}  // namespace

class AboutTest : public QObject {
  Q_OBJECT

 private slots:
  void formatsVersionsWithoutPadding_data();
  void formatsVersionsWithoutPadding();
  void showsTheBuildVersionOnceEachTime();
  void isLaidOutAsAReleaseBox();
  void licencesNameQtAndItsNotices();
};

void AboutTest::formatsVersionsWithoutPadding_data() {
  QTest::addColumn<int>("major");
  QTest::addColumn<int>("minor");
  QTest::addColumn<int>("revision");
  QTest::addColumn<QString>("text");
  QTest::newRow("revision 12") << 1 << 5 << 12 << "1.5.12";
  QTest::newRow("minor 10") << 1 << 10 << 0 << "1.10.0";
  QTest::newRow("all zero") << 0 << 0 << 0 << "0.0.0";
  QTest::newRow("major 10") << 10 << 0 << 7 << "10.0.7";
}

void AboutTest::formatsVersionsWithoutPadding() {
  QFETCH(int, major);
  QFETCH(int, minor);
  QFETCH(int, revision);
  QFETCH(QString, text);
  QCOMPARE(FormatVersion(major, minor, revision), text);
}

void AboutTest::showsTheBuildVersionOnceEachTime() {
  MainWindow window;
  const AboutSeen first = ShowAboutFromMenu(window);
  const AboutSeen second = ShowAboutFromMenu(window);

  const QString version = FormatVersion(CALVENORI_VERSION_MAJOR, CALVENORI_VERSION_MINOR,
                                        CALVENORI_VERSION_PATCH);
  QCOMPARE(first.text, "Calvenori Uploader Software Release " + version);
  QCOMPARE(second.text, first.text);
  static const QRegularExpression anyVersion(QStringLiteral("\\d+\\.\\d+\\.\\d+"));
  QCOMPARE(int(second.text.count(anyVersion)), 1);
}

void AboutTest::isLaidOutAsAReleaseBox() {
  MainWindow window;
  const AboutSeen seen = ShowAboutFromMenu(window);
  QCOMPARE(seen.title, QStringLiteral("Software Release"));
  QCOMPARE(seen.clientSize, QSize(3660 / 15, 1770 / 15));
  QVERIFY(!(seen.flags & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(seen.flags & Qt::WindowMaximizeButtonHint));
  QCOMPARE(seen.pointSize, 12);
  QCOMPARE(seen.alignment, Qt::AlignCenter);
  QVERIFY(seen.wraps);
  QVERIFY(seen.fits);
  QCOMPARE(seen.icon, AppIcon().pixmap(16, 16).toImage());
  // The Licences button in room of its own.
  QVERIFY(QRect(QPoint(0, 0), seen.clientSize).contains(seen.licences));
  QVERIFY(!seen.licences.intersects(seen.release) && !seen.licences.intersects(seen.ok));
}

// The Qt the program runs on, its licence, and the file that holds the
// licences: on Windows the kit's notices beside the programs' bin folder,
// elsewhere the Debian copyright file of that Qt.
void AboutTest::licencesNameQtAndItsNotices() {
  MainWindow window;
  const AboutSeen seen = ShowAboutFromMenu(window);
  const QString qt = QStringLiteral("uses Qt %1 under the GNU Lesser General Public License, version 3 (LGPL-3.0).")
                         .arg(QString::fromLatin1(qVersion()));
  QVERIFY2(seen.notice.contains(qt), qPrintable(seen.notice));
#ifdef Q_OS_WIN
  const QString notices = QDir(QCoreApplication::applicationDirPath() + "/..").absoluteFilePath("THIRD-PARTY-NOTICES.txt");
  QVERIFY2(seen.notice.contains(" are in " + QDir::toNativeSeparators(notices) + '.'), qPrintable(seen.notice));
#else
  const QString notices = QStringLiteral("/usr/share/doc/libqt6core6/copyright");
  QVERIFY2(seen.notice.contains(" are in its Debian package's " + notices + '.'), qPrintable(seen.notice));
  QVERIFY(QFile::exists(notices));
#endif
}

QTEST_MAIN(AboutTest)
#include "test_about.moc"
