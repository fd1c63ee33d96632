// Reading the nine identification windows and keeping them in the backup file.
#include "WindowProtocol.h"
#include "SmallDisk.h"
#include "TestFiles.h"
#include "FailureRecord.h"
#include "ScriptedHost.h"
#include "SimLink.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

using Files = QMap<QString, QByteArray>;

const QByteArrayList Read = {"001234", "002500", "CU-4471-02", "PMP-90211", "S12",
                             "P24051703", "C23119876", "MOD-03", "REV-C"};
// What an erased controller's application answers.
const QByteArrayList Blanks = {"000000", "000000", "", "", "", "", "", "", ""};
const QString Kept = "tmpLogWin-20261207-193012.txt";

QByteArrayList With(QByteArrayList values, const std::map<int, QByteArray> &changed) {
  for (const auto &[row, value] : changed) values[row] = value;
  return values;
}

QByteArray BackupText(const QByteArrayList &values) {
  QByteArray text;
  for (int row = 0; row < IdWindowCount; ++row) text += QByteArray(IdWindowLabels[row]) + "\t\t" + values[row] + "\r\n";
  return text;
}

}  // namespace

class IdentificationBackupTest : public QObject {
  Q_OBJECT
  SimLink link;
  QTemporaryDir workDir;
  FailureRecord rec;
  IdBackup rows;

  sim::SimulatedController &Sim() { return *link.Controller; }

  static QByteArray LogText() {
    QFile f(ParameterLogPath(QDir::current()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

 private slots:
  void initTestCase() {
    QVERIFY2(link.Start(), qPrintable(link.Error));
    QVERIFY(QDir::setCurrent(workDir.path()));
  }

  void init() {
    link.Reset(sim::Mode::Application);
    rec = {};
    rows = BlankBackup();
  }

  void allReadsGood() {
    ScriptedHost host(link.Port);
    host.Check = true;
    rows = Into(rec, StoreControllerParameters(link.Port, host.Frame, host.Check)).Rows;
    for (const IdWindow &row : rows) QCOMPARE(row.Value, Sim().Window(row.Win));
    QCOMPARE(rows[2].Value.isEmpty(), false);
    QCOMPARE(host.Events.first(), QString("caption Storing Controller Parameters"));
    QCOMPARE(host.Events.mid(1, 4), QStringList({"repaint", "max 9", "min 0", "value 0"}));
    QCOMPARE(host.EventsStartingWith("value"),
             QStringList({"value 0", "value 1", "value 2", "value 3", "value 4", "value 5", "value 6", "value 7",
                          "value 8", "value 9"}));
    QCOMPARE(host.Events.last(), QString("wait 0.2"));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Sim().WindowRequests().size(), 9);
  }

  void failedReadStopsOnlyWithCheckErrors() {
    sim::Faults f;
    f.FailReadOfWindow = 319;
    Sim().SetFaults(f);

    ScriptedHost checking(link.Port);
    checking.Check = true;
    const StoredParameters stopped = Into(rec, StoreControllerParameters(link.Port, checking.Frame, checking.Check));
    QCOMPARE(stopped.Rows[1].Value, Sim().Window(311));
    QCOMPARE(stopped.Rows[2].Value, QByteArray("#TIMEOUT#"));
    for (int r = 3; r < IdWindowCount; ++r) QCOMPARE(stopped.Rows[r].Value, QByteArray());
    QCOMPARE(checking.Progress.Value, 2);
    QCOMPARE(stopped.Result.End, StepEnd::Failed);
    QCOMPARE(Sim().WindowRequests().size(), 2 + SilentReadAttempts);
    QVERIFY(!checking.Events.contains("wait 0.2"));

    rec = {};
    Sim().ClearReceived();
    ScriptedHost pushing(link.Port);
    const StoredParameters passed = Into(rec, StoreControllerParameters(link.Port, pushing.Frame, pushing.Check));
    QCOMPARE(Sim().WindowRequests().size(), 8 + SilentReadAttempts);
    QCOMPARE(passed.Rows[2].Value, QByteArray("#TIMEOUT#"));
    QCOMPARE(passed.Rows[8].Value, Sim().Window(325));
    QCOMPARE(passed.Result.End, StepEnd::Done);
    QCOMPARE(rec.Count, 1);  // let pass, but not forgotten
  }

  // Each blank row is judged against the newest kept backup holding a value
  // for its window; rows whose read failed are not judged.
  void judgingBlanks_data() {
    QTest::addColumn<QByteArrayList>("read");  // "#TIMEOUT#": the read failed
    QTest::addColumn<Files>("folder");
    QTest::addColumn<bool>("erased");
    QTest::addColumn<QStringList>("suspect");  // "window file value"
    QStringList allKept;
    for (int row = 0; row < IdWindowCount; ++row)
      allKept << QString("%1 %2 %3").arg(BlankBackup()[row].Win).arg(Kept, QString::fromLatin1(Read[row]));
    QTest::newRow("all blank, a kept backup holds values")
        << Blanks << Files{{Kept, BackupText(Read)}} << true << allKept;
    QTest::newRow("all blank, no kept backup (nor files named otherwise)")
        << Blanks << Files{{"tmpLogWin.txt", BackupText(Read)}, {"tmpLogWin-notes.txt", BackupText(Read)}} << true
        << QStringList();
    QTest::newRow("one timed out, the rest blank")
        << With(Blanks, {{2, "#TIMEOUT#"}}) << Files{{Kept, BackupText(Read)}} << true
        << QStringList(allKept.mid(0, 2) + allKept.mid(3));
    // Newer backups that hold a zero, a failure or another of the same
    // second's values are passed over for the window, not for the others.
    QTest::newRow("partly restored")
        << With(Read, {{0, "000000"}, {6, ""}})
        << Files{{Kept, BackupText(With(Read, {{0, "001111"}}))},
                 {"tmpLogWin-20261207-193012-2.txt", BackupText(With(Read, {{6, ""}}))},
                 {"tmpLogWin-20261208-080000.txt", BackupText(Blanks)},
                 {"tmpLogWin-20261208-090000.txt", BackupText(With(Read, {{0, "#TIMEOUT#"}, {6, "0.0"}}))}}
        << false << QStringList{"310 tmpLogWin-20261207-193012-2.txt 001234", "323 " + Kept + " C23119876"};
    QTest::newRow("blank with no kept backup") << With(Read, {{0, "000000"}}) << Files{} << false << QStringList();
    QTest::newRow("blank where the kept backup is blank too")
        << With(Read, {{4, "0"}}) << Files{{Kept, BackupText(With(Read, {{4, "0000"}}))}} << false << QStringList();
    QTest::newRow("no window read: no verdict")
        << QByteArrayList(IdWindowCount, "#TIMEOUT#") << Files{{Kept, BackupText(Read)}} << false << QStringList();
  }
  void judgingBlanks() {
    QFETCH(QByteArrayList, read);
    QFETCH(Files, folder);
    QFETCH(bool, erased);
    QFETCH(QStringList, suspect);
    QTemporaryDir dir;
    for (auto it = folder.begin(); it != folder.end(); ++it) WriteTestFile(dir.path(), it.key(), it.value());
    for (int row = 0; row < IdWindowCount; ++row) {
      rows[row].Value = read[row];
      rows[row].ReadFailed = read[row] == "#TIMEOUT#";
    }

    const BlankVerdict verdict = JudgeBlanks(rows, KeptValuesIn(QDir(dir.path())));

    QCOMPARE(verdict.Erased, erased);
    QStringList found;
    for (int row = 0; row < IdWindowCount; ++row)
      if (const auto &kept = verdict.Suspect[row])
        found << QString("%1 %2 %3").arg(rows[row].Win).arg(QFileInfo(kept->From.Path).fileName(),
                                                             QString::fromLatin1(kept->Value));
    QCOMPARE(found, suspect);
    QCOMPARE(verdict.AnySuspect(), !suspect.isEmpty());
  }

  void logHoldsNineLabelledLines() {
    rows[0].Value = "001234";
    rows[4].Value = QByteArray("M\xE9X ");  // bytes as received, nothing trimmed
    const BackupWritten first = WriteParameterLog(QDir::current(), rows);
    QVERIFY2(first.Written, qPrintable(first.Error));
    const QByteArray expected = QByteArray("VE (Win 310)\t\t001234\r\n") + "Vref (Win 311)\t\t\r\n" +
                                "Controller P/N (Win 319)\t\t\r\n" + "Pump P/N (Win 320)\t\t\r\n" +
                                "Pump Special Model (Win 321)\t\tM\xE9X \r\n" + "Pump S/N (Win 322)\t\t\r\n" +
                                "Controller S/N (Win 323)\t\t\r\n" + "Pump Modification Level (Win 324)\t\t\r\n" +
                                "Controller Modific. Level (Win 325)\t\t\r\n";
    QCOMPARE(LogText(), expected);

    // A second backup replaces the first; the file never grows.
    for (IdWindow &row : rows) row.Value = "x";
    QVERIFY(WriteParameterLog(QDir::current(), rows).Written);
    QCOMPARE(LogText().count("\r\n"), 9);
    QVERIFY(LogText().startsWith("VE (Win 310)\t\tx\r\n"));
  }

  // A read-only mount refuses root too, which a folder's permissions do not.
  void unwritableLogIsReportedAndTheOldOneKept() {
    SmallDisk disk;
    REQUIRE_SMALL_DISK(disk);
    QVERIFY(QDir::setCurrent(disk.Path()));
    QVERIFY(WriteParameterLog(QDir::current(), rows).Written);
    const QByteArray before = LogText();
    const bool readOnly = disk.MakeReadOnly();
    rows[0].Value = "changed";
    const BackupWritten second = WriteParameterLog(QDir::current(), rows);
    const bool written = second.Written;
    const QString error = second.Error;
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY(readOnly);
    QVERIFY(!written);
    QVERIFY2(error.contains(disk.FilePath("tmpLogWin.txt")), qPrintable(error));
    QFile log(disk.FilePath("tmpLogWin.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), before);
  }

  void logThatCannotBeCreatedIsReported() {
    // Works for root too: the name is taken by a directory.
    QTemporaryDir other;
    QVERIFY(QDir(other.path()).mkdir("tmpLogWin.txt"));
    QVERIFY(QDir::setCurrent(other.path()));
    const BackupWritten second = WriteParameterLog(QDir::current(), rows);
    const bool written = second.Written;
    const QString error = second.Error;
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY(!written);
    QVERIFY2(error.contains(QDir::toNativeSeparators(other.path())), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(IdentificationBackupTest)
#include "test_identification_backup.moc"
