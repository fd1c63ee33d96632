// Erasing and programming through the boot monitor in both dialects, with
// every acknowledgement and resynchronisation path.
#include "FailureRecord.h"
#include "TestDialects.h"
#include "LineTiming.h"
#include "ScriptedHost.h"
#include "SimLink.h"
#include "TestFiles.h"
#include "ProgramTransfer.h"
#include "WindowProtocol.h"

#include <QTemporaryDir>
#include <QtTest>

class ProgramTransferTest : public QObject {
  Q_OBJECT
  FailureRecord rec;
  SimLink link;
  QTemporaryDir dir;

  sim::SimulatedController &Sim() { return *link.Controller; }

  void EnterBootMonitor(sim::Dialect dialect) {
    Sim().SetDialect(dialect);
    Sim().SetMode(sim::Mode::BootMonitor);
  }

  // Sends `file` to a fresh "(E)" monitor with Check Errors on.
  void Program(ScriptedHost &host, const QByteArray &file) {
    host.Check = true;
    host.ProgramPath = WriteTestFile(dir.path(), "fw.s19", file);
    EnterBootMonitor(sim::Dialect::E);
    Into(rec, SendProgramFile(link.Port, host.Frame, host.Check, ProgramOf(host), BootDialectOf("(E)")));
  }

  int SRecordsSent() const {
    int n = 0;
    for (const QByteArray &c : link.Controller->MonitorCommands()) n += c.startsWith('S');
    return n;
  }

  QList<QByteArray> Letters() const {
    QList<QByteArray> out;
    for (const QByteArray &c : link.Controller->MonitorCommands())
      if (c.size() == 1 && c != "\r") out << c;
    return out;
  }

 private slots:
  void initTestCase() { QVERIFY2(link.Start(), qPrintable(link.Error)); }

  void init() {
    rec = {};
    link.Reset(sim::Mode::BootMonitor);
  }

  void bothDialectsEraseAndProgram_data() {
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QList<QByteArray>>("letters");
    for (const TestDialect &d : TestDialects()) QTest::newRow(d.Name) << int(d.Sim) << d.Tag << d.Letters;
  }
  void bothDialectsEraseAndProgram() {
    QFETCH(int, dialect);
    QFETCH(QByteArray, tag);
    QFETCH(QList<QByteArray>, letters);
    const QByteArray file = ProgramFile(20);
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ProgramPath = WriteTestFile(dir.path(), "fw.s19", file);
    EnterBootMonitor(sim::Dialect(dialect));
    Into(rec, SendProgramFile(link.Port, host.Frame, host.Check, ProgramOf(host), BootDialectOf(tag)));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Letters(), letters);
    QVERIFY(Sim().Flash() == FlashImageOf(file));
    QCOMPARE(host.Progress.Max, 22);
    QCOMPARE(host.Progress.Value, 22);
    QCOMPARE(host.EventsStartingWith("caption"),
             QStringList({"caption Clear Flash memory", "caption Clear EEPROM",
                          "caption Set Controller in Programming mode", "caption Sending Program File"}));
    // Records go out bare: nothing follows the checksum.
    QVERIFY(Sim().MonitorCommands().contains(SRecord(9, 0x8000, {})));
    QVERIFY(!Sim().Received().contains("\r"));
    const int sending = host.Events.indexOf("caption Sending Program File");
    QCOMPARE(host.Events.mid(sending + 1, 3), QStringList({"min 0", "value 0", "max 22"}));
  }

  void shortEraseAnswerStopsOnlyWithCheckErrors() {
    sim::Faults f;
    f.EraseShortReply = true;
    const QByteArray file = ProgramFile(3);
    ScriptedHost checking(link.Port);
    checking.Check = true;
    checking.ProgramPath = WriteTestFile(dir.path(), "fw.s19", file);
    EnterBootMonitor(sim::Dialect::E);
    Sim().SetFaults(f);
    Into(rec, SendProgramFile(link.Port, checking.Frame, checking.Check, ProgramOf(checking), BootDialectOf("(E)")));
    QVERIFY(rec.Flagged);
    QCOMPARE(Letters(), QList<QByteArray>(EraseAttempts, "E"));
    QCOMPARE(checking.Caption, QString("Clear Flash memory"));
    QCOMPARE(checking.Progress.Value, 0);
    QCOMPARE(checking.Progress.Max, 6);

    rec = {};
    Sim().ClearReceived();
    ScriptedHost pushing(link.Port);
    pushing.ProgramPath = checking.ProgramPath;
    Into(rec, SendProgramFile(link.Port, pushing.Frame, pushing.Check, ProgramOf(pushing), BootDialectOf("(E)")));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Letters(), QList<QByteArray>(EraseAttempts, "E") + QList<QByteArray>(EraseAttempts, "C") +
                            QList<QByteArray>{"P"});
    QVERIFY(Sim().Flash() == FlashImageOf(file));
    QCOMPARE(rec.Count, 2);
  }

  void erAnswersAreNeverExamined() {
    sim::Faults f;
    f.EraseNotErased = true;
    EnterBootMonitor(sim::Dialect::Er);
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ProgramPath = WriteTestFile(dir.path(), "fw.s19", ProgramFile(2));
    Into(rec, SendProgramFile(link.Port, host.Frame, host.Check, ProgramOf(host), BootDialectOf(" Er")));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Letters(), QList<QByteArray>({"a", "d", "b"}));
  }

  void lateAcknowledgementIsResynchronised() {
    const QByteArray file = ProgramFile(5);
    sim::Faults f;
    f.LateAckRecord = 2;
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    host.SleepOnWait = true;  // the late "*" arrives during the pause
    Program(host, file);
    QVERIFY(!rec.Flagged);
    QCOMPARE(host.Progress.Value, 7);
    QCOMPARE(Sim().MonitorCommands().count("\r"), 1);  // one check, no resend
    QCOMPARE(SRecordsSent(), 7);
    QCOMPARE(rec.Count, 0);
    QVERIFY(Sim().Flash() == FlashImageOf(file));
  }

  // A record refused, or acknowledged with a "*" the line spoiled, is sent
  // again after the CR check, as often as it takes up to the last attempt;
  // only then is it a hole that Check Errors stops at.
  void refusedRecordIsSentAgain_data() {
    QTest::addColumn<bool>("garbled");
    QTest::addColumn<int>("refusals");
    QTest::addColumn<bool>("checkErrors");
    QTest::newRow("\"?\" once") << false << 1 << true;
    QTest::newRow("garbled \"*\" once") << true << 1 << true;
    QTest::newRow("\"?\" to all but the last attempt") << false << RefusedRecordAttempts - 1 << true;
    QTest::newRow("\"?\" every time, Check Errors on") << false << RefusedRecordAttempts << true;
    QTest::newRow("\"?\" every time, Check Errors off") << false << RefusedRecordAttempts << false;
  }
  void refusedRecordIsSentAgain() {
    QFETCH(bool, garbled);
    QFETCH(int, refusals);
    QFETCH(bool, checkErrors);
    const QByteArray file = ProgramFile(5);
    sim::Faults f;
    (garbled ? f.GarbleAckRecord : f.RefuseRecord) = 2;
    f.RefuseRecordTimes = refusals;
    EnterBootMonitor(sim::Dialect::E);
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    host.Check = checkErrors;
    host.ProgramPath = WriteTestFile(dir.path(), "fw.s19", file);
    const int resentBefore = link.Port.Repeats().Records;
    Into(rec, SendProgramFile(link.Port, host.Frame, host.Check, ProgramOf(host), BootDialectOf("(E)")));
    const QList<QByteArray> lines = file.split('\n');
    const int sent = qMin(refusals + 1, RefusedRecordAttempts);
    QCOMPARE(Sim().MonitorCommands().count(lines[2].trimmed()), sent);
    QCOMPARE(Sim().MonitorCommands().count("\r"), sent - (refusals < RefusedRecordAttempts));
    QCOMPARE(link.Port.Repeats().Records - resentBefore, refusals < RefusedRecordAttempts ? sent - 1 : 0);
    const bool hole = refusals >= RefusedRecordAttempts;
    QCOMPARE(rec.Count, hole ? 1 : 0);
    QCOMPARE(rec.Flagged, hole && checkErrors);
    if (hole && checkErrors) {
      QCOMPARE(Sim().MonitorCommands().last(), QByteArray("\r"));  // stopped after the last check
      QCOMPARE(host.Progress.Value, 2);
      return;
    }
    QCOMPARE(SRecordsSent(), 7 + sent - 1);
    QCOMPARE(host.Progress.Value, 7);
    QCOMPARE(Sim().Flash() == FlashImageOf(file), !hole);
  }

  // An acknowledgement is "*" with nothing but line ends and blanks around it,
  // in one read or late: the tail of one answer may come ahead of the next
  // record's "*". Anything else is no acknowledgement, to the last attempt:
  // fewer for an answer, which may be the monitor's refusal, than for silence.
  void acknowledgementIsAStarAmidLineEnds_data() {
    QTest::addColumn<QByteArray>("ack");
    QTest::addColumn<int>("lateFrom");  // the bytes from this one on come 80 ms later; -1: none
    QTest::addColumn<bool>("accepted");
    QTest::newRow("*") << QByteArray("*") << -1 << true;
    QTest::newRow("* CR LF") << QByteArray("*\r\n") << -1 << true;
    QTest::newRow("* CR") << QByteArray("*\r") << -1 << true;
    QTest::newRow("CR LF *") << QByteArray("\r\n*") << -1 << true;
    QTest::newRow("blanks and tab around") << QByteArray(" \t* \r\n") << -1 << true;
    QTest::newRow("* and its CR LF late, ahead of the next *") << QByteArray("*\r\n") << 1 << true;
    QTest::newRow("CR LF, then * late") << QByteArray("\r\n*") << 2 << true;
    QTest::newRow("?") << QByteArray("?") << -1 << false;
    QTest::newRow("? CR LF") << QByteArray("?\r\n") << -1 << false;
    QTest::newRow("CR LF, then ? late") << QByteArray("\r\n?") << 2 << false;
    QTest::newRow("**") << QByteArray("**") << -1 << false;
    QTest::newRow("*?") << QByteArray("*?") << -1 << false;
    QTest::newRow("* and text") << QByteArray("* OK\r\n") << -1 << false;
    QTest::newRow("text") << QByteArray("OK\r\n") << -1 << false;
    QTest::newRow("NUL before *") << QByteArray("\0*", 2) << -1 << false;
    // Silence is the line's, not a refusal: asked longer.
    QTest::newRow("nothing at all") << QByteArray() << -1 << false;
  }
  void acknowledgementIsAStarAmidLineEnds() {
    QFETCH(QByteArray, ack);
    QFETCH(int, lateFrom);
    QFETCH(bool, accepted);
    const QByteArray file = ProgramFile(4);
    sim::Faults f;
    f.RecordAck = ack;
    f.RecordAckSplit = lateFrom;
    f.RecordAckSplitMs = 80;
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    Program(host, file);
    if (accepted) {
      QVERIFY(!rec.Flagged);
      QCOMPARE(rec.Count, 0);
      QCOMPARE(SRecordsSent(), 6);
      QCOMPARE(host.Progress.Value, 6);
      QVERIFY(Sim().Flash() == FlashImageOf(file));
      return;
    }
    QVERIFY(rec.Flagged);
    QCOMPARE(rec.Count, 1);
    const int attempts = ack.trimmed().isEmpty() ? RecordAttempts : RefusedRecordAttempts;
    QCOMPARE(SRecordsSent(), attempts);
    QCOMPARE(Sim().MonitorCommands().count("\r"), attempts);
    QCOMPARE(host.Progress.Value, 0);
  }

  // A monitor that echoes an erase at once and answers "Erased" when done:
  // the pause is its work, not the line's, and the quiet every later
  // read-back waits out stays what the window replies taught.
  void slowEraseTeachesTheLineNothing_data() {
    QTest::addColumn<QString>("line");
    for (const char *line : {"even", "usb:16", "fifo"}) QTest::newRow(line) << QString(line);
  }
  void slowEraseTeachesTheLineNothing() {
    QFETCH(QString, line);
    sim::LineDelivery delivery;
    QVERIFY(sim::ParseDelivery(line, delivery));
    Sim().SetPaced(true);
    Sim().SetDelivery(delivery);
    Sim().SetMode(sim::Mode::Application);
    for (int window = 319; window <= 325; ++window) QCOMPARE(ReadWindow(link.Port, window).Kind, ReplyKind::Data);
    const LineTiming taught = link.Port.Timing();
    Sim().ClearReceived();

    sim::Faults f;
    f.EraseWorkMs = 300;
    Sim().SetFaults(f);
    const qint64 delayedBefore = Sim().AddedDelayMs();
    ScriptedHost host(link.Port);
    host.SleepOnWait = true;  // an erase's last bytes come during the pause after it
    Program(host, ProgramFile(2));
    QVERIFY(!rec.Flagged);  // "Erased" came within the reply wait, after the echo
    QCOMPARE(Letters(), QList<QByteArray>({"E", "C", "P"}));
    QCOMPARE(Sim().AddedDelayMs() - delayedBefore, qint64(600));
    QVERIFY(Sim().Sent().startsWith("E\r\nErased\r\nC\r\nErased\r\n"));
    QCOMPARE(link.Port.Timing().LongestGapNs, taught.LongestGapNs);
    QCOMPARE(SettleQuietNs(link.Port.Timing(), 9600), SettleQuietNs(taught, 9600));
  }

  void blankLinesAndAMissingLastLineEnd() {
    QByteArray file = ProgramFile(3);
    file.insert(file.indexOf("\r\n") + 2, "\r\n");  // blank second line
    file.chop(2);                                   // no line end after the last record
    ScriptedHost host(link.Port);
    Program(host, file);
    QVERIFY(!rec.Flagged);
    QCOMPARE(host.Progress.Max, 6);
    QCOMPARE(host.Progress.Value, 6);
    QVERIFY(Sim().Flash() == FlashImageOf(file));
  }

  void lostMonitorStopsTheTransferWhateverCheckErrors() {
    // Record 3 is refused and the monitor's answer to the check lacks its tag.
    sim::Faults f;
    f.RefuseRecord = 2;
    EnterBootMonitor(sim::Dialect::E);
    Sim().SetFaults(f);
    Sim().SetPromptLength(6);
    ScriptedHost host(link.Port);  // CheckErrors off
    host.ProgramPath = WriteTestFile(dir.path(), "fw.s19", ProgramFile(6));
    Into(rec, SendProgramFile(link.Port, host.Frame, host.Check, ProgramOf(host), BootDialectOf("(E)")));
    QVERIFY(rec.Flagged);
    QCOMPARE(host.Progress.Value, 2);
    QCOMPARE(host.Progress.Max, 8);
    QCOMPARE(Sim().WithModel([](const sim::ControllerModel &m) { return m.RecordsReceived(); }), 3);
  }

  void unknownTagSendsNothing() {
    ScriptedHost host(link.Port);
    host.ProgramPath = WriteTestFile(dir.path(), "fw.s19", ProgramFile(1));
    EnterBootMonitor(sim::Dialect::E);
    Into(rec, SendProgramFile(link.Port, host.Frame, host.Check, ProgramOf(host), BootDialectOf("XYZ")));
    QVERIFY(rec.Flagged);
    QVERIFY(Sim().Received().isEmpty());
  }

  void realLineRateWithCheckErrors() {
    const QByteArray file = ProgramFile(8);
    Sim().SetPaced(true);
    ScriptedHost host(link.Port);
    host.SleepOnWait = true;  // replies take their time at 9600 baud
    Program(host, file);
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 0);
    QVERIFY(Sim().Flash() == FlashImageOf(file));
  }
};

QTEST_GUILESS_MAIN(ProgramTransferTest)
#include "test_program_transfer.moc"
