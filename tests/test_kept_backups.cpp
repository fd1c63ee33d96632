// Earlier backups kept beside "tmpLogWin.txt", never replaced blind, and the
// kept file named when the latest backup holds read failures.
#include "KeptBackups.h"
#include "ProgramTexts.h"
#include "SmallDisk.h"
#include "TestFiles.h"
#include "UploadDriver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDateTime Earlier(QDate(2026, 12, 7), QTime(19, 30, 12));
const QByteArray Values = "VE (Win 310)\t\t004321\r\nPump S/N (Win 322)\t\tP-77\r\n";
const QByteArray Failures = "VE (Win 310)\t\t#TIMEOUT#\r\nPump S/N (Win 322)\t\tNACK CODE: 7\r\n";
// What an erased controller's application answers: zeros and empty texts.
const QByteArray Blanks = "VE (Win 310)\t\t000000\r\nVref (Win 311)\t\t0.00\r\nPump S/N (Win 322)\t\t\r\n";

QByteArray NineRows(const QByteArray &pumpSerial) {
  QByteArray text;
  for (int row = 0; row < IdWindowCount; ++row)
    text += QByteArray(IdWindowLabels[row]) + "\t\t" + (row == 5 ? pumpSerial : QByteArray::number(row + 1)) + "\r\n";
  return text;
}

void WriteStamped(const QString &dir, const QString &name, const QByteArray &content, const QDateTime &modified) {
  QFile f(WriteTestFile(dir, name, content));
  QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(modified, QFileDevice::FileModificationTime));
}

QByteArray Content(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// name -> content for every file of the folder but tmpLogWin.txt.
QMap<QString, QByteArray> KeptFiles(const QDir &dir) {
  QMap<QString, QByteArray> out;
  for (const QString &name : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
    if (name != "tmpLogWin.txt") out[name] = QFileInfo(dir.filePath(name)).isDir() ? "(dir)" : Content(dir.filePath(name));
  return out;
}

using Files = QMap<QString, QByteArray>;

}  // namespace

class KeptBackupsTest : public QObject {
  Q_OBJECT

 private slots:
  void keeping_data() {
    QTest::addColumn<QByteArray>("earlier");  // empty: there is no tmpLogWin.txt
    QTest::addColumn<Files>("before");        // files already beside it
    QTest::addColumn<bool>("kept");
    QTest::addColumn<Files>("after");
    const QString name = "tmpLogWin-20261207-193012.txt";
    QTest::newRow("nothing there") << QByteArray() << Files{} << true << Files{};
    QTest::newRow("identical content: no new file") << QByteArray(Values + "\t") << Files{} << true << Files{};
    QTest::newRow("different: kept byte-equal under its time") << Values << Files{} << true << Files{{name, Values}};
    QTest::newRow("already kept under that name") << Values << Files{{name, Values}} << true << Files{{name, Values}};
    QTest::newRow("another backup of the same second is left alone")
        << Values << Files{{name, Failures}} << true
        << Files{{name, Failures}, {"tmpLogWin-20261207-193012-2.txt", Values}};
    QTest::newRow("the name is taken by a directory: refused") << Values << Files{{name, "(dir)"}} << false
                                                               << Files{{name, "(dir)"}};
  }
  void keeping() {
    QFETCH(QByteArray, earlier);
    QFETCH(Files, before);
    QFETCH(bool, kept);
    QFETCH(Files, after);
    QTemporaryDir dir;
    const QByteArray next = Values + "\t";
    if (!earlier.isEmpty()) WriteStamped(dir.path(), "tmpLogWin.txt", earlier, Earlier);
    for (auto it = before.begin(); it != before.end(); ++it) {
      if (it.value() == "(dir)") QVERIFY(QDir(dir.path()).mkdir(it.key()));
      else WriteTestFile(dir.path(), it.key(), it.value());
    }
    QString error;
    QCOMPARE(KeepEarlierBackup(QDir(dir.path()), next, &error), kept);
    QCOMPARE(KeptFiles(QDir(dir.path())), after);
    if (!kept) {
      const QDir folder(dir.path());
      QVERIFY2(error.startsWith("The earlier backup file " + QDir::toNativeSeparators(folder.filePath("tmpLogWin.txt")) +
                                " could not be kept as " +
                                QDir::toNativeSeparators(folder.filePath(before.firstKey())) + ": "),
               qPrintable(error));
      return;
    }
    // The copy carries the time of the values it holds.
    for (auto it = after.begin(); it != after.end(); ++it)
      if (!before.contains(it.key())) QCOMPARE(QFileInfo(QDir(dir.path()).filePath(it.key())).lastModified(), Earlier);
    if (!earlier.isEmpty()) QCOMPARE(Content(QDir(dir.path()).filePath("tmpLogWin.txt")), earlier);  // not yet replaced
  }

  void theFileToUse_data() {
    QTest::addColumn<QByteArray>("latest");  // tmpLogWin.txt
    QTest::addColumn<Files>("kept");
    QTest::addColumn<QString>("named");  // empty: none
    QTest::newRow("the latest backup holds values") << Values << Files{{"tmpLogWin-20261207-193012.txt", Values}}
                                                    << QString();
    QTest::newRow("a failure, nothing kept") << Failures << Files{} << QString();
    QTest::newRow("an erased controller's zeros: the newest kept backup with values")
        << Blanks
        << Files{{"tmpLogWin-20261207-193012.txt", Values},
                 {"tmpLogWin-20261208-080000.txt", Blanks},
                 {"tmpLogWin-20261208-090000.txt", "VE (Win 310)\t\t-0\r\nPump S/N (Win 322)\t\t 0 \r\n"}}
        << QString("tmpLogWin-20261207-193012.txt");
    QTest::newRow("a zero beside a value is a value")
        << QByteArray("VE (Win 310)\t\t000000\r\nPump S/N (Win 322)\t\t0x0\r\n")
        << Files{{"tmpLogWin-20261207-193012.txt", Values}} << QString();
    QTest::newRow("a failure: the newest kept backup with values")
        << Failures
        << Files{{"tmpLogWin-20261101-080000.txt", Values},
                 {"tmpLogWin-20261207-193012.txt", Values},
                 {"tmpLogWin-20261207-193012-2.txt", "VE (Win 310)\t\tUNKNOWN NACK :X\r\n"},
                 {"tmpLogWin-notes.txt", Values}}
        << QString("tmpLogWin-20261207-193012.txt");
  }
  void theFileToUse() {
    QFETCH(QByteArray, latest);
    QFETCH(Files, kept);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    WriteTestFile(dir.path(), "tmpLogWin.txt", latest);
    for (auto it = kept.begin(); it != kept.end(); ++it) WriteTestFile(dir.path(), it.key(), it.value());
    const QString line = RescueBackupLine(QDir::current());
    const QString interruption = InterruptionText("Locking controller", QDir::current());
    QVERIFY(QDir::setCurrent(saved));

    const QString standard = texts::WithCr(
        texts::ErrorDuring("Locking controller") + "\n" + texts::Interrupts + "\n" +
        texts::RescueFrom(QDir::toNativeSeparators(QDir(dir.path()).canonicalPath() + "/tmpLogWin.txt")));
    if (named.isEmpty()) {
      QCOMPARE(line, QString());
      QCOMPARE(interruption, standard);
      return;
    }
    QCOMPARE(line, "The last values read from a controller are in " +
                       QDir::toNativeSeparators(QDir(QDir(dir.path()).canonicalPath()).filePath(named)) +
                       ", saved 2026-12-07 19:30:12 (Controller P/N (empty), Controller S/N (empty), Pump S/N P-77): "
                       "check them against the pump's label.");
    QCOMPARE(interruption, standard + "\r" + line);
  }

  // Where only some windows read blank, each kept backup holding their values
  // is named with the windows it holds.
  void keptValuesNamed_data() {
    QTest::addColumn<Files>("kept");
    QTest::addColumn<QStringList>("lines");  // {dir}: the folder
    const QString end = "): check them against the pump's label.";
    QTest::newRow("none") << Files{{"tmpLogWin-20261208-080000.txt", Blanks}} << QStringList();
    QTest::newRow("one backup holds them")
        << Files{{"tmpLogWin-20261207-193012.txt", Values}}
        << QStringList{"The last values read from a controller for windows 310, 322 are in "
                       "{dir}/tmpLogWin-20261207-193012.txt, saved 2026-12-07 19:30:12 (Controller P/N (empty), "
                       "Controller S/N (empty), Pump S/N P-77" + end};
    QTest::newRow("two backups, the newest first")
        << Files{{"tmpLogWin-20261207-193012.txt", Values},
                 {"tmpLogWin-20261208-080000.txt", "Pump S/N (Win 322)\t\tP-78\r\n"}}
        << QStringList{"The last values read from a controller for window 322 are in "
                       "{dir}/tmpLogWin-20261208-080000.txt, saved 2026-12-08 08:00:00 (Controller P/N (empty), "
                       "Controller S/N (empty), Pump S/N P-78" + end,
                       "The last values read from a controller for window 310 are in "
                       "{dir}/tmpLogWin-20261207-193012.txt, saved 2026-12-07 19:30:12 (Controller P/N (empty), "
                       "Controller S/N (empty), Pump S/N P-77" + end};
  }
  void keptValuesNamed() {
    QFETCH(Files, kept);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    for (auto it = kept.begin(); it != kept.end(); ++it) WriteTestFile(dir.path(), it.key(), it.value());
    const QString named = KeptValuesLines(KeptValuesIn(QDir(dir.path())));
    QCOMPARE(named, lines.join('\r').replace("{dir}", QDir::toNativeSeparators(dir.path())));
  }

  // The disk fills up under the write: the file that was there stays as it
  // was, and neither a short copy nor a scrap of one is left beside it.
  void fullDiskLeavesEveryFileAsItWas() {
    SmallDisk disk(16);
    REQUIRE_SMALL_DISK(disk);
    WriteStamped(disk.Path(), "tmpLogWin.txt", Values, Earlier);
    disk.Fill();
    const QStringList before = QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden);
    QString reason;
    QVERIFY(!WriteFileChecked(disk.FilePath("tmpLogWin.txt"), Failures + Values, &reason));
    QVERIFY2(reason.contains("No space left"), qPrintable(reason));
    QVERIFY(!KeepEarlierBackup(QDir(disk.Path()), Failures, &reason));
    QVERIFY2(reason.contains("No space left"), qPrintable(reason));
    QCOMPARE(Content(disk.FilePath("tmpLogWin.txt")), Values);
    QCOMPARE(QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden), before);
  }

  void valuesToWriteBack_data() {
    QTest::addColumn<QByteArray>("file");  // "<missing>": there is none
    QTest::addColumn<QString>("refusal");  // empty: read
    QTest::newRow("a backup of nine windows") << NineRows("P-77") << QString();
    QTest::newRow("labels in another order") << QByteArray(NineRows("P-77").split('\n').mid(4).join('\n') + "\n" +
                                                           NineRows("P-77").split('\n').mid(0, 4).join('\n'))
                                             << QString();
    QTest::newRow("a window missing") << NineRows("P-77").replace("Pump S/N (Win 322)", "Pump S/N")
                                      << ": there is no line \"Pump S/N (Win 322)\"";
    QTest::newRow("a read failure") << NineRows("#TIMEOUT#") << " holds no controller's values";
    QTest::newRow("missing") << QByteArray("<missing>") << " cannot be read: ";
  }
  void valuesToWriteBack() {
    QFETCH(QByteArray, file);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString path = dir.filePath("from.txt");
    if (file != "<missing>") WriteTestFile(dir.path(), "from.txt", file);
    const Checked<BackupValues> values = ReadBackupFile(path);
    QCOMPARE(values.Value.has_value(), refusal.isEmpty());
    if (!refusal.isEmpty()) {
      QVERIFY2(values.Why.startsWith("Backup file " + path) && values.Why.contains(refusal), qPrintable(values.Why));
      return;
    }
    QCOMPARE((*values)[5], QByteArray("P-77"));
    QCOMPARE((*values)[8], QByteArray("9"));
  }
};

QTEST_GUILESS_MAIN(KeptBackupsTest)
#include "test_kept_backups.moc"
