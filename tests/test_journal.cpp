// The upload journal's file: its CSV, its checksums, and an append that is
// whole or not there at all.
#include "Journal.h"
#include "SmallDisk.h"
#include "TestFiles.h"
#include "UnfinishedUpload.h"

#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A verdict's reason kept beside it, for the check that reads it after.
bool Held(const Verdict &verdict, QString &reason) {
  reason = verdict.Why;
  return verdict.Ok;
}

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

// A line as the tool writes it, its parameter list's path quoted for its comma.
JournalEntry Plain(const QString &outcome) {
  JournalEntry e;
  e.Started = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0), QTimeZone(3600));
  e.Ended = e.Started.addSecs(40);
  e.Program = "calvenori-uploader";
  e.Mode = "parameter list";
  e.PortNumber = 2;
  e.ParameterList = "/srv/Pumpe Nord, Halle 3/liste.txt";
  e.Outcome = outcome;
  return e;
}

QByteArray LineOf(const JournalEntry &entry) { return CsvRecord(JournalFields(entry)); }

// `line` cut just after the first `after` in it, as a crash leaves it.
QByteArray CutAfter(const QByteArray &line, const QByteArray &after) {
  return line.left(line.indexOf(after) + after.size());
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
  void earlierJournalTakesAndReadsNewLines();
  void noFieldIsAFormula_data();
  void noFieldIsAFormula();
  void cutLineCostsItselfAlone_data();
  void cutLineCostsItselfAlone();
  void checkedUnderTheJournalsLock_data();
  void checkedUnderTheJournalsLock();
};

void JournalTest::awkwardFieldsRoundTrip() {
  QTemporaryDir dir;
  const QString path = dir.filePath("calvenori-uploads.csv");
  const JournalEntry entry = Awkward(dir.path());
  QString reason;
  QVERIFY2(Held(AppendToJournal(path, entry), reason) && Held(AppendToJournal(path, entry), reason), qPrintable(reason));

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
  QVERIFY(Held(AppendToJournal(torn, entry), reason));
  WriteTestFile(dir.path(), "torn.csv", Read(torn) + "2026-12-08T10:00:00+01:00,2026-");
  QVERIFY(Held(AppendToJournal(torn, entry), reason));
  QList<QStringList> records;
  QVERIFY(ParseCsv(Read(torn), records, &reason));
  QCOMPARE(records.size(), 4);
  QCOMPARE(records.last(), JournalFields(entry));

  SmallDisk disk(64);
  REQUIRE_SMALL_DISK(disk);
  const QString path = disk.FilePath("calvenori-uploads.csv");
  QVERIFY(Held(AppendToJournal(path, entry), reason));
  QVERIFY(Held(JournalUsable(path), reason));
  const QByteArray before = Read(path);
  disk.Fill();
  QVERIFY(!Held(JournalUsable(path), reason));
  // Room for the lock file, not for the line.
  QVERIFY(QFile::resize(disk.FilePath(".filler"), QFileInfo(disk.FilePath(".filler")).size() - 8192));
  entry.Outcome = QString(40000, QLatin1Char(0x78));
  QVERIFY(!Held(AppendToJournal(path, entry), reason));
  QVERIFY2(reason.contains("No space left on device") || reason.contains(" bytes could be written"), qPrintable(reason));
  QCOMPARE(Read(path), before);
  QVERIFY(!Held(AppendToJournal(disk.FilePath("new.csv"), entry), reason));
  QVERIFY(!QFileInfo::exists(disk.FilePath("new.csv")));
}

void JournalTest::foreignFilesAreRefused() {
  QTemporaryDir dir;
  const QString foreign = WriteTestFile(dir.path(), "prices.csv", "Item,Price\r\nPump,100\r\n");
  QString reason;
  QVERIFY(!Held(JournalUsable(foreign), reason));
  QVERIFY2(reason.contains("not an upload journal"), qPrintable(reason));
  QVERIFY(!Held(AppendToJournal(foreign, Awkward(dir.path())), reason));
  QCOMPARE(Read(foreign), QByteArray("Item,Price\r\nPump,100\r\n"));
  QVERIFY(!Held(JournalUsable(dir.path()), reason));                        // a folder
  QVERIFY(!Held(JournalUsable(dir.filePath("no/such/folder.csv")), reason));
  QVERIFY(Held(JournalUsable(dir.filePath("new.csv")), reason));
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
  QVERIFY(Held(AppendToJournal(path, older), reason) && Held(AppendToJournal(path, newer), reason));
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

// A journal from before the last columns: still ours, its lines still read,
// and a line of this version appended to it reads whole beside them.
void JournalTest::earlierJournalTakesAndReadsNewLines() {
  QTemporaryDir dir;
  const QStringList earlierHeader = JournalHeader().mid(0, 19);
  const QByteArray earlierLine = CsvRecord(JournalFields(Plain("uploaded")).mid(0, 19));
  const QString path = WriteTestFile(dir.path(), "calvenori-uploads.csv", CsvRecord(earlierHeader) + earlierLine);
  QString reason;
  QVERIFY2(Held(JournalUsable(path), reason), qPrintable(reason));
  JournalEntry newer = Plain("interrupted at CRC verifyng");
  newer.LastStage = "EnterMonitor";
  newer.OwnBackup = "/srv/pump/backup-C23119876-20261209-103102.txt";
  QVERIFY2(Held(AppendToJournal(path, newer), reason), qPrintable(reason));
  const JournalContent content = ReadJournal(Read(path));
  QCOMPARE(content.Header, earlierHeader);
  QCOMPARE(content.Unreadable, 0);
  QCOMPARE(content.Lines.size(), 2);
  QCOMPARE(JournalEntryOf(content.Header, content.Lines[0]).LastStage, QString());
  const JournalEntry read = JournalEntryOf(content.Header, content.Lines[1]);
  QCOMPARE(read.LastStage, newer.LastStage);
  QCOMPARE(read.OwnBackup, newer.OwnBackup);
  QCOMPARE(read.Outcome, newer.Outcome);
  QString table;
  QVERIFY2(JournalTable(path, table, &reason), qPrintable(reason));
  QCOMPARE(table.count('\n'), 3);
}

void JournalTest::noFieldIsAFormula_data() {
  QTest::addColumn<QString>("value");   // in every text field
  QTest::addColumn<QString>("stored");  // the field in the file, its CSV quoting undone
  QTest::addColumn<bool>("old");        // a journal written before the apostrophe
  QTest::newRow("=") << "=1+2" << "'=1+2" << false;
  QTest::newRow("+") << "+49 30 1234" << "'+49 30 1234" << false;
  QTest::newRow("-") << "-C23" << "'-C23" << false;
  QTest::newRow("@") << "@SUM(1)" << "'@SUM(1)" << false;
  QTest::newRow("tab") << "\t=1+2" << "'\t=1+2" << false;
  QTest::newRow("CR, quoted for it") << "\r=1+2" << "'\r=1+2" << false;
  QTest::newRow("=, with a comma and quotes") << "=HYPERLINK(\"x\", 1)" << "'=HYPERLINK(\"x\", 1)" << false;
  QTest::newRow("an apostrophe alone") << "'quoted'" << "'quoted'" << false;
  QTest::newRow("an apostrophe, then =") << "'=1+2" << "''=1+2" << false;
  QTest::newRow("two apostrophes, then @") << "''@x" << "'''@x" << false;
  QTest::newRow("= further in") << "a=1+2" << "a=1+2" << false;
  QTest::newRow("old journal, =") << "=1+2" << "=1+2" << true;
  QTest::newRow("old journal, -") << "-C23" << "-C23" << true;
  QTest::newRow("old journal, an apostrophe") << "'quoted'" << "'quoted'" << true;
}

// A spreadsheet shows the journal's fields as text; the journal's readers
// (the lines, --history, the search for an unfinished upload) give back the
// values as they were.
void JournalTest::noFieldIsAFormula() {
  QFETCH(QString, value);
  QFETCH(QString, stored);
  QFETCH(bool, old);
  QTemporaryDir dir;
  const QString path = dir.filePath("calvenori-uploads.csv");
  JournalEntry entry = Plain(value);
  entry.Program = entry.Version = entry.User = entry.Host = entry.Mode = entry.Device = value;
  entry.ControllerPartNumber = entry.ControllerSerialNumber = entry.ParameterList = entry.ProgramFile = value;
  entry.Backup = value;
  entry.ParameterListSha256 = QString(64, u'e');
  entry.FailuresLetPass = 3;
  JournalEntry unfinished = entry;  // a full upload stopped after its backup
  unfinished.Mode = "full";
  QString reason;
  if (old)
    WriteTestFile(dir.path(), "calvenori-uploads.csv",
                  CsvRecord(JournalHeader()) + CsvRecord(JournalFields(entry)) + CsvRecord(JournalFields(unfinished)));
  else
    QVERIFY2(Held(AppendToJournal(path, entry), reason) && Held(AppendToJournal(path, unfinished), reason), qPrintable(reason));

  QList<QStringList> records;
  QVERIFY2(ParseCsv(Read(path), records, &reason), qPrintable(reason));
  QCOMPARE(records.size(), 3);
  QCOMPARE(records[0], JournalHeader());
  const QStringList fields = JournalFields(entry);
  // The tool's own times, numbers and checksums are written as they are.
  for (int c : {0, 1, 7, 8, 13, 15, 17}) QCOMPARE(records[1][c], fields[c]);
  for (int c : {2, 3, 4, 5, 6, 9, 10, 11, 12, 14, 16, 18}) QCOMPARE(records[1][c], stored);

  QCOMPARE(ReadJournal(Read(path)).Lines, (QList<QStringList>{fields, JournalFields(unfinished)}));
  QString table;
  QVERIFY2(JournalTable(path, table, &reason), qPrintable(reason));
  const QStringList rows = table.split('\n', Qt::SkipEmptyParts);
  QCOMPARE(rows.size(), 3);
  for (const char *column : {"User", "Controller P/N", "Outcome"})
    QVERIFY2(rows[2].mid(rows[0].indexOf(column)).startsWith(QString(value).replace(u'\r', u' ')), qPrintable(table));

  // The next start finds the backup holding the controller's values as read.
  QByteArray backup;
  for (int row = 0; row < IdWindowCount; ++row) {
    const bool identifies = row == ControllerPartNumberRow || row == ControllerSerialNumberRow;
    backup += QByteArray(IdWindowLabels[row]) + "\t\t" + (identifies ? value.toLatin1() : QByteArray::number(row + 1)) + "\r\n";
  }
  WriteTestFile(dir.path(), "tmpLogWin.txt", backup);
  const std::optional<FinishingBackup> found = BackupToFinishWith(QDir(dir.path()), path, {});
  QVERIFY(found);
  QCOMPARE(found->Identity.ControllerPartNumber, value.toLatin1());
}

void JournalTest::cutLineCostsItselfAlone_data() {
  QTest::addColumn<QByteArray>("body");  // after the header
  QTest::addColumn<QList<QStringList>>("lines");
  QTest::addColumn<int>("unreadable");
  const JournalEntry a = Plain("uploaded"), b = Plain("port not opened"), awkward = Awkward("/srv");
  const QByteArray inQuotes = CutAfter(LineOf(b), "Pumpe Nord, Ha");
  const QByteArray plain = "2026-12-08T10:00:00+01:00,2026-";
  const QStringList fa = JournalFields(a), fb = JournalFields(b);
  QTest::newRow("cut inside a quoted field, last") << LineOf(a) + inQuotes << QList<QStringList>{fa} << 1;
  // Lines an earlier version added after it, on a line of their own but inside the open quote.
  QTest::newRow("cut inside a quoted field, lines added after it")
      << LineOf(a) + inQuotes + "\r\n" + LineOf(b) + LineOf(a) << QList<QStringList>{fa, fb, fa} << 1;
  QTest::newRow("cut in a plain field") << LineOf(a) + plain << QList<QStringList>{fa} << 1;
  // All its fields there: closed as it is, it would pass for a whole line.
  JournalEntry backup = Plain("uploaded"), quotedBackup = backup;
  backup.Backup = "/srv/tmpLogWin.txt";
  quotedBackup.Backup = "/srv/Pumpe Nord, Halle 3/tmpLogWin.txt";
  QTest::newRow("cut in its last field") << LineOf(a) + CutAfter(LineOf(backup), "tmpLog") << QList<QStringList>{fa}
                                         << 1;
  QTest::newRow("cut in its last field, quoted")
      << LineOf(a) + CutAfter(LineOf(quotedBackup), "3/tmpLog") << QList<QStringList>{fa} << 1;
  QTest::newRow("cut before its line end") << LineOf(a) + LineOf(b).chopped(2) << QList<QStringList>{fa} << 1;
  QTest::newRow("cut after a line end inside a quoted field")
      << LineOf(a) + CutAfter(LineOf(awkward), "\r\n") << QList<QStringList>{fa} << 1;
  QTest::newRow("cut between a doubled quote") << LineOf(a) + CutAfter(LineOf(awkward), "with \"")
                                               << QList<QStringList>{fa} << 1;
  QTest::newRow("cut between CR and LF") << LineOf(a) + LineOf(b).chopped(1) << QList<QStringList>{fa, fb} << 0;
  QTest::newRow("two cut lines in a row") << plain + "\r\n" + inQuotes << QList<QStringList>{} << 2;
  QTest::newRow("two cut lines, a whole one between")
      << inQuotes + "\r\n" + LineOf(b) + plain << QList<QStringList>{fb} << 2;
  QTest::newRow("a line changed by hand") << LineOf(a) + "a note,typed in\r\n" + LineOf(b)
                                          << QList<QStringList>{fa, fb} << 1;
  QTest::newRow("an empty line between") << LineOf(a) + "\r\n" + LineOf(b) << QList<QStringList>{fa, fb} << 0;
}

// A line cut by a crash (or mangled by hand) is skipped alone, the next line
// added after it starts a line of its own, and the history says what it skipped.
void JournalTest::cutLineCostsItselfAlone() {
  QFETCH(QByteArray, body);
  QFETCH(QList<QStringList>, lines);
  QFETCH(int, unreadable);
  const QByteArray journal = CsvRecord(JournalHeader()) + body;
  const JournalContent content = ReadJournal(journal);
  QCOMPARE(content.Header, JournalHeader());
  QCOMPARE(content.Lines, lines);
  QCOMPARE(content.Unreadable, unreadable);

  QTemporaryDir dir;
  const QString path = WriteTestFile(dir.path(), "calvenori-uploads.csv", journal);
  const JournalEntry next = Plain("interrupted at CRC verifyng");
  QString reason;
  QVERIFY2(Held(AppendToJournal(path, next), reason), qPrintable(reason));
  const QByteArray after = Read(path);
  QVERIFY(after.startsWith(journal));
  const JournalContent read = ReadJournal(after);
  QCOMPARE(read.Lines, lines + QList<QStringList>{JournalFields(next)});
  QCOMPARE(read.Unreadable, unreadable);

  QString table;
  int skipped = -1;
  QVERIFY2(JournalTable(path, table, &reason, &skipped), qPrintable(reason));
  QCOMPARE(skipped, unreadable);
  const QStringList rows = table.split('\n', Qt::SkipEmptyParts);
  QCOMPARE(rows.size(), lines.size() + 2);
  QVERIFY2(rows[1].contains("interrupted at CRC verifyng"), qPrintable(table));
}

void JournalTest::checkedUnderTheJournalsLock_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<bool>("existing");  // the journal is there already
  QTest::newRow("another upload is adding its line") << "lock held" << true;
  QTest::newRow("another upload is making the journal") << "lock held" << false;
  QTest::newRow("a writable journal in a folder that takes no new file") << "read-only folder" << true;
}

// The check before an upload takes the lock an append takes: it waits for
// another upload's append (and leaves alone the journal that one is making),
// and refuses a journal beside which no lock file can be made.
void JournalTest::checkedUnderTheJournalsLock() {
  QFETCH(QString, how);
  QFETCH(bool, existing);
  QTemporaryDir dir;
  QString path = dir.filePath("calvenori-uploads.csv");
  QString reason;
  if (existing) QVERIFY(Held(AppendToJournal(path, Plain("uploaded")), reason));
  const QByteArray before = Read(path);
  QLockFile other(path + ".lock");
  SmallDisk disk;
  QString says;
  if (how == "lock held") {
    QVERIFY(other.tryLock(0));
    says = "another upload kept its lock file " + path + ".lock";
  } else {
    REQUIRE_SMALL_DISK(disk);
    QVERIFY(disk.BindFile(path, "calvenori-uploads.csv"));
    QVERIFY(disk.MakeReadOnly());
    path = disk.FilePath("calvenori-uploads.csv");
    says = "its lock file " + path + ".lock cannot be made";
    QFile writable(path);
    QVERIFY(writable.open(QIODevice::WriteOnly | QIODevice::Append));  // the journal itself takes a line
  }

  QVERIFY(!Held(JournalUsable(path, 0), reason));

  QCOMPARE(reason, says);
  QCOMPARE(Read(path), before);
  QCOMPARE(QFileInfo::exists(path), existing);
  QCOMPARE(QFileInfo::exists(path + ".lock"), how == "lock held");
  // And an append refuses as the check did, the journal kept as it was.
  if (how == "lock held") return;
  QVERIFY(!Held(AppendToJournal(path, Plain("uploaded")), reason));
  QCOMPARE(reason, says);
  QCOMPARE(Read(path), before);
}

QTEST_GUILESS_MAIN(JournalTest)
#include "test_journal.moc"
