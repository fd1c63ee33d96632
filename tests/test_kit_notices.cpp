// The Windows kit's notices check (packaging/windows/CheckNotices.cmake), on
// scratch kits: it passes a kit whose notices match it and fails, naming the
// file, each way they can part. And the notices the packaging makes
// (ThirdPartyNotices.cmake) pass it, while a DLL it knows nothing of stops it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
  int Status = -1;
  QString Said;
};

Run CMakeScript(const char *script, const QStringList &definitions) {
  QProcess cmake;
  cmake.setProcessChannelMode(QProcess::MergedChannels);
  QStringList args;
  for (const QString &d : definitions) args << "-D" + d;
  cmake.start(QStringLiteral(CALVENORI_CMAKE), args << "-P" << QString::fromLatin1(script));
  cmake.waitForFinished(-1);
  return {cmake.exitStatus() == QProcess::NormalExit ? cmake.exitCode() : -1, QString::fromUtf8(cmake.readAll())};
}

bool Put(const QString &path, const QByteArray &content = "MZ") {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// An entry as the packaging writes it, without the field `left` names.
QByteArray Entry(const QString &file, const QString &source, const QString &left = {}) {
  QByteArray entry = "File:      " + file.toUtf8() + "\n";
  const QStringList fields{"Component: a component", "Version:   1.0", "Licence:   LGPL-3.0-only", "Source:    " + source};
  for (const QString &field : fields)
    if (left.isEmpty() || !field.startsWith(left + ':')) entry += field.toUtf8() + "\n";
  return entry + "\n";
}

}  // namespace

class KitNoticesTest : public QObject {
  Q_OBJECT

 private slots:
  void checkFindsEachMismatch_data();
  void checkFindsEachMismatch();
  void madeNoticesPassTheCheck_data();
  void madeNoticesPassTheCheck();
};

// The scratch kit: two Qt files and a runtime DLL, each with its entry, and
// the source file one entry points to. A row adds files, leaves one out,
// drops a field or writes Unix line ends; `said` is what the check must name
// (nothing: it passes).
void KitNoticesTest::checkFindsEachMismatch_data() {
  QTest::addColumn<QStringList>("extra");
  QTest::addColumn<QString>("missing");
  QTest::addColumn<QString>("dropped");
  QTest::addColumn<bool>("crlf");
  QTest::addColumn<QString>("said");
  QTest::newRow("every DLL has its entry") << QStringList() << "" << "" << true
                                           << "an entry for each of the kit's 3 DLLs and plugins";
  QTest::newRow("a DLL added without an entry") << QStringList{"bin/libzstd.dll"} << "" << "" << true
                                                << "bin/libzstd.dll is shipped but has no entry";
  QTest::newRow("a plugin added without an entry") << QStringList{"bin/imageformats/qjpeg.dll"} << "" << "" << true
                                                   << "bin/imageformats/qjpeg.dll is shipped but has no entry";
  QTest::newRow("a DLL named in capitals") << QStringList{"bin/ZLIB1.DLL"} << "" << "" << true
                                           << "bin/ZLIB1.DLL is shipped but has no entry";
  QTest::newRow("an entry for a file not shipped") << QStringList() << "bin/libwinpthread-1.dll" << "" << true
                                                   << "bin/libwinpthread-1.dll names a file the kit does not ship";
  QTest::newRow("an entry without its licence") << QStringList() << "" << "Licence" << true
                                                << "its entry for bin/Qt6Core.dll says no Licence";
  QTest::newRow("an entry's source not shipped") << QStringList() << "source/README.txt" << "" << true
                                                 << "points to source/README.txt, which the kit does not ship";
  QTest::newRow("Unix line ends") << QStringList() << "" << "" << false << "of its line ends are not CR LF";
}

void KitNoticesTest::checkFindsEachMismatch() {
  QFETCH(QStringList, extra);
  QFETCH(QString, missing);
  QFETCH(QString, dropped);
  QFETCH(bool, crlf);
  QFETCH(QString, said);
  QTemporaryDir kit;
  const QStringList shipped{"bin/Qt6Core.dll", "bin/platforms/qwindows.dll", "bin/libwinpthread-1.dll",
                            "source/README.txt"};
  for (const QString &file : shipped + extra)
    if (file != missing) QVERIFY(Put(kit.filePath(file)));
  QByteArray notices = "Third-party software\n====================\n\n";
  notices += Entry("bin\\Qt6Core.dll", "qt6-base, see source\\README.txt", dropped);
  notices += Entry("bin\\platforms\\qwindows.dll", "qt6-base");
  notices += Entry("bin\\libwinpthread-1.dll", "mingw-w64");
  notices += "Licence texts and notices\n=========================\n\nFile: bin\\in-a-licence-text.dll\n";
  if (crlf) notices.replace("\n", "\r\n");
  QVERIFY(Put(kit.filePath("THIRD-PARTY-NOTICES.txt"), notices));

  const Run check = CMakeScript(CALVENORI_NOTICES_CHECK, {"KIT=" + kit.path()});
  const bool passes = said.startsWith("an entry for each");
  QVERIFY2(check.Status == (passes ? 0 : 1) && check.Said.simplified().contains(said), qPrintable(check.Said));
  // The row's own fault alone is named (one indented line each): the file
  // name in the licence texts is no entry.
  QCOMPARE(int(check.Said.count(QStringLiteral("\n    "))), passes ? 0 : 1);
}

// The packaging's notices for a scratch kit of Qt files, as the install makes
// them; a DLL the packaging has no rule for stops it, and no notices are made.
void KitNoticesTest::madeNoticesPassTheCheck_data() {
  QTest::addColumn<QStringList>("dlls");
  QTest::addColumn<QString>("said");
  QTest::newRow("Qt's DLLs and plugins") << QStringList{"bin/Qt6Core.dll", "bin/Qt6SerialPort.dll",
                                                        "bin/platforms/qwindows.dll"}
                                         << "";
  QTest::newRow("a DLL no rule knows") << QStringList{"bin/Qt6Core.dll", "bin/libzstd.dll"}
                                       << "The kit ships bin/libzstd.dll, which packaging/windows/ThirdPartyNotices.cmake "
                                          "knows no licence";
}

void KitNoticesTest::madeNoticesPassTheCheck() {
  QFETCH(QStringList, dlls);
  QFETCH(QString, said);
  QTemporaryDir kit, scratch;
  for (const QString &file : dlls) QVERIFY(Put(kit.filePath(file)));
  for (const char *file : {"source/README.txt", "source/build-qt-mingw.sh", "source/qtserialport-6.4.2.tar.xz"})
    QVERIFY(Put(kit.filePath(file)));
  const Run made = CMakeScript(CALVENORI_NOTICES_MAKER,
                               {"CMAKE_INSTALL_PREFIX=" + kit.path(), "CALVENORI_NOTICES_SCRATCH=" + scratch.path(),
                                "CALVENORI_PRODUCT=Calvenori Uploader 1.5.0", "CALVENORI_QT_VERSION=6.4.2",
                                "CALVENORI_QT_BASE_SOURCE=qt6-base", "CALVENORI_QT_BASE_SOURCE_VERSION=6.4.2+dfsg-10",
                                "CALVENORI_QT_SERIALPORT_TARBALL=qtserialport-6.4.2.tar.xz",
                                "CALVENORI_QT_SERIALPORT_TAG=v6.4.2"});
  const QString notices = kit.filePath("THIRD-PARTY-NOTICES.txt");
  if (!said.isEmpty()) {
    QVERIFY2(made.Status != 0 && made.Said.simplified().contains(said), qPrintable(made.Said));
    QVERIFY(!QFile::exists(notices));
    return;
  }
  QVERIFY2(made.Status == 0, qPrintable(made.Said));
  const Run check = CMakeScript(CALVENORI_NOTICES_CHECK, {"KIT=" + kit.path()});
  QVERIFY2(check.Status == 0, qPrintable(check.Said));
  QFile file(notices);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  // The licence texts Qt needs, whole, from Debian's base-files.
  for (const char *licence : {"/usr/share/common-licenses/LGPL-3", "/usr/share/common-licenses/GPL-3"}) {
    QFile source(QString::fromLatin1(licence));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QVERIFY2(text.contains(source.readAll().replace("\n", "\r\n")), licence);
  }
}

QTEST_GUILESS_MAIN(KitNoticesTest)
#include "test_kit_notices.moc"
