// The upload journal's file: its CSV, its checksums, and an append that is
// whole or not there at all.
#include "Journal.h"
#include "SmallDisk.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

JournalEntry Awkward(const QString &dir) {
  JournalEntry e;
  e.Started = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7), QTimeZone(3600));
  e.Ended = e.Started.addSecs(75);
  e.Program = "calvenori-upload";
  e.Mode = "parameter list";
  e.User = QString::fromUtf8("Jürgen Øster");
  e.ParameterList = dir + QString::fromUtf8("/Pumpe \"Nord\", Halle 3/Parameterliste ÄÖÜ.txt");
  e.Outcome = "interrupted: a message, with \"quotes\"\r\nand a line end";
  e.FailuresLetPass = 2;
  return e;
}

QByteArray Read(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class JournalTest : public QObject {
  Q_OBJECT

 private slots:
  void awkwardFieldsRoundTrip();
  void sha256IsSha256sums();
  void appendIsWholeOrNotThere();
  void foreignFilesAreRefused();
  void historyIsNewestFirstAndAligned();
};

void JournalTest::awkwardFieldsRoundTrip() {
  QTemporaryDir dir;
  const QString path = dir.filePath("calvenori-uploads.csv");
  const JournalEntry entry = Awkward(dir.path());
  QString reason;
  QVERIFY2(AppendToJournal(path, entry, &reason) && AppendToJournal(path, entry, &reason), qPrintable(reason));

  const QByteArray csv = Read(path);
  QVERIFY(csv.startsWith("Started,Ended,Program,Version,User,Host,Mode,Check Errors,Port,Device,"));
  QVERIFY(csv.contains(QString::fromUtf8("\"" + dir.path().toUtf8() + "/Pumpe \"\"Nord\"\", Halle 3/Parameterliste ÄÖÜ.txt\"").toUtf8()));
  QVERIFY(csv.contains("2026-12-08T09:05:07+01:00,2026-12-08T09:06:22+01:00,"));
  QCOMPARE(csv.count("\r\n"), 3 + 2);  // three records, two of them with a line end inside a field
  QVERIFY(csv.endsWith("\r\n"));
  QList<QStringList> records;
  QVERIFY(ParseCsv(csv, records, &reason));
  QCOMPARE(records, QList<QStringList>({JournalHeader(), JournalFields(entry), JournalFields(entry)}));
  QCOMPARE(records[1][12], entry.ParameterList);
  QVERIFY(!ParseCsv("a,\"b\r\n", records, &reason));
}

void JournalTest::sha256IsSha256sums() {
  QTemporaryDir dir;
  QByteArray content;
  for (int i = 0; i < 70000; ++i) content += char(i * 7);
  for (const QByteArray &bytes : {QByteArray(), QByteArray("S0030000FC\r\n"), content}) {
    const QString path = WriteTestFile(dir.path(), "file", bytes);
    QProcess sum;
    sum.start("sha256sum", {path});
    QVERIFY2(sum.waitForFinished(-1) && sum.exitCode() == 0, qPrintable(sum.errorString()));
    QCOMPARE(FileSha256(path), QString::fromLatin1(sum.readAllStandardOutput().left(64)));
  }
  QCOMPARE(FileSha256(dir.filePath("missing")), QString());
}

void JournalTest::appendIsWholeOrNotThere() {
  QTemporaryDir dir;
  JournalEntry entry = Awkward(dir.path());
  // A line torn by a crash: the next one starts on a line of its own.
  const QString torn = dir.filePath("torn.csv");
  QString reason;
  QVERIFY(AppendToJournal(torn, entry, &reason));
  WriteTestFile(dir.path(), "torn.csv", Read(torn) + "2026-12-08T10:00:00+01:00,2026-");
  QVERIFY(AppendToJournal(torn, entry, &reason));
  QList<QStringList> records;
  QVERIFY(ParseCsv(Read(torn), records, &reason));
  QCOMPARE(records.size(), 4);
  QCOMPARE(records.last(), JournalFields(entry));

  SmallDisk disk(64);
  REQUIRE_SMALL_DISK(disk);
  const QString path = disk.FilePath("calvenori-uploads.csv");
  QVERIFY(AppendToJournal(path, entry, &reason));
  QVERIFY(JournalUsable(path, &reason));
  const QByteArray before = Read(path);
  disk.Fill();
  QVERIFY(!JournalUsable(path, &reason));
  // Room for the lock file, not for the line.
  QVERIFY(QFile::resize(disk.FilePath(".filler"), QFileInfo(disk.FilePath(".filler")).size() - 8192));
  entry.Outcome = QString(40000, QLatin1Char(0x78));
  QVERIFY(!AppendToJournal(path, entry, &reason));
  QVERIFY2(reason.contains("No space left on device") || reason.contains(" bytes could be written"), qPrintable(reason));
  QCOMPARE(Read(path), before);
  QVERIFY(!AppendToJournal(disk.FilePath("new.csv"), entry, &reason));
  QVERIFY(!QFileInfo::exists(disk.FilePath("new.csv")));
}

void JournalTest::foreignFilesAreRefused() {
  QTemporaryDir dir;
  const QString foreign = WriteTestFile(dir.path(), "prices.csv", "Item,Price\r\nPump,100\r\n");
  QString reason;
  QVERIFY(!JournalUsable(foreign, &reason));
  QVERIFY2(reason.contains("not an upload journal"), qPrintable(reason));
  QVERIFY(!AppendToJournal(foreign, Awkward(dir.path()), &reason));
  QCOMPARE(Read(foreign), QByteArray("Item,Price\r\nPump,100\r\n"));
  QVERIFY(!JournalUsable(dir.path(), &reason));                        // a folder
  QVERIFY(!JournalUsable(dir.filePath("no/such/folder.csv"), &reason));
  QVERIFY(JournalUsable(dir.filePath("new.csv"), &reason));
  QVERIFY(!QFileInfo::exists(dir.filePath("new.csv")));  // the check leaves nothing behind
}

void JournalTest::historyIsNewestFirstAndAligned() {
  QTemporaryDir dir;
  const QString path = dir.filePath("calvenori-uploads.csv");
  JournalEntry older = Awkward(dir.path()), newer = older;
  older.Outcome = "uploaded";
  newer.Started = older.Started.addDays(1);
  newer.Outcome = "port not opened";
  newer.ControllerSerialNumber = "C23119876";
  QString reason, table;
  QVERIFY(AppendToJournal(path, older, &reason) && AppendToJournal(path, newer, &reason));
  QVERIFY2(JournalTable(path, table, &reason), qPrintable(reason));
  const QStringList lines = table.split('\n', Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 3);
  QVERIFY2(lines[1].startsWith("2026-12-09T") && lines[2].startsWith("2026-12-08T"), qPrintable(table));
  for (int l = 1; l < 3; ++l) {
    QCOMPARE(lines[l].indexOf(QString::fromUtf8("Jürgen")), lines[0].indexOf("User"));
    QCOMPARE(lines[l].indexOf(QString::fromUtf8("Parameterliste ÄÖÜ.txt")), lines[0].indexOf("Parameter list"));
  }
  QVERIFY(lines[1].contains("port not opened") && lines[1].contains("C23119876"));
  QVERIFY(!JournalTable(dir.filePath("none.csv"), table, &reason));
}

QTEST_GUILESS_MAIN(JournalTest)
#include "test_journal.moc"
