// Identify, verify and the search for the port, against the simulated
// controller: what they tell, and that nothing they send writes.

#include "WindowProtocol.h"
#include "DriverRig.h"
#include "UploadExpect.h"
#include "ProgramTexts.h"
#include "Examination.h"
#include "Journal.h"
#include "ParameterList.h"
#include "PortSearch.h"
#include "SimLink.h"

#include <QFile>
#include <QTest>

#include <memory>

namespace {

// Line 1 holds the start address and two fields, lines 2 and 3 two each: two
// header records that transfer nothing, then the parameters.
const QByteArray List =
    "&H0100,Test list,T1\r\n"
    "Release,V1\r\n"
    "CRC,1234\r\n"
    "1,Size one 300,300\r\n"
    "1,Minus three,-3\r\n"
    "2,Two bytes,258\r\n"
    "4,Four bytes,-2\r\n"
    "3,Not transferred,7\r\n";

// The window numbers written, and the monitor commands that write (erase,
// EEPROM write, CRC), as the controller saw them.
QStringList WritingTraffic(const sim::SimulatedController &controller) {
  QStringList seen;
  for (const QByteArray &frame : controller.WindowRequests())
    if (frame.size() > 5 && frame[5] == '1') seen << "write " + QString::fromLatin1(frame.mid(2, 3));
  for (const QByteArray &command : controller.MonitorCommands())
    if (command.startsWith('E') || command.startsWith('C')) seen << "command " + QString::fromLatin1(command.trimmed());
  return seen;
}

QStringList LastJournalLine() {
  QFile file(JournalPathFor(QDir::current()));
  QList<QStringList> records;
  if (!file.open(QIODevice::ReadOnly) || !ParseCsv(file.readAll(), records, nullptr) || records.size() < 2) return {};
  return records.last();
}

QString JournalField(const QStringList &line, const char *title) {
  return line.value(JournalHeader().indexOf(QString::fromLatin1(title)));
}

void FillParameterMemory(sim::SimulatedController &controller, const QString &list) {
  QString error;
  for (const auto &[address, byte] : ParameterByteMap(list, &error)) controller.SetParameterByte(address, byte);
}

}  // namespace

class TestExamination : public QObject {
  Q_OBJECT

 private slots:
  void identifiesEachState_data();
  void identifiesEachState();
  void verifiesWithoutWriting_data();
  void verifiesWithoutWriting();
  void verifyTakesTheModeAnswerWhole_data();
  void verifyTakesTheModeAnswerWhole();
  void refusesBeforeSending();
  void stoppedAtThePowerCycle();
  void recordComparison_data();
  void recordComparison();
  void autoTakesTheOneAnsweringPort_data();
  void autoTakesTheOneAnsweringPort();
};

void TestExamination::identifiesEachState_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<bool>("er");
  QTest::addColumn<bool>("silent");
  QTest::addColumn<QString>("lock");
  QTest::addColumn<QString>("outcome");
  QTest::addColumn<int>("requests");  // window requests the controller saw
  const int app = int(sim::Mode::Application);
  QTest::newRow("application") << app << false << false << "0" << "identified: application answers" << 10;
  QTest::newRow("application, locked") << app << false << false << "1" << "identified: application answers" << 10;
  QTest::newRow("boot monitor (E)") << int(sim::Mode::BootMonitor) << false << false << "0"
                                    << "identified: boot monitor answers (dialect (E))" << 0;
  QTest::newRow("boot monitor Er") << int(sim::Mode::BootMonitor) << true << false << "0"
                                   << "identified: boot monitor answers (dialect Er)" << 0;
  QTest::newRow("parameter monitor") << int(sim::Mode::ParameterMonitor) << false << false << "0"
                                     << "identified: parameter monitor answers" << 0;
  QTest::newRow("nothing") << app << false << true << "0" << "identified: nothing answers" << SilentReadAttempts;
}

void TestExamination::identifiesEachState() {
  QFETCH(int, mode);
  QFETCH(bool, er);
  QFETCH(bool, silent);
  QFETCH(QString, lock);
  QFETCH(QString, outcome);
  QFETCH(int, requests);
  DriverRig rig(er ? sim::Dialect::Er : sim::Dialect::E);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.Controller.SetWindow(501, lock.toLatin1());
  rig.Controller.SetMode(sim::Mode(mode));
  sim::Faults faults;
  faults.Silent = silent;
  rig.Controller.SetFaults(faults);

  const IdentifyRun run = RunIdentify(rig.Host, QDir::current());

  QCOMPARE(run.Result, UploadResult::Uploaded);
  QCOMPARE(run.Answered(), !silent);
  if (run.Identity.Contact.Application) {
    QCOMPARE(run.Identity.Rows[2].Value, rig.Controller.Window(319).trimmed());
    QCOMPARE(run.Identity.Lock, lock == "1" ? LockState::Locked : LockState::Unlocked);
  }
  // Only reads, and none after 310 unless the application answered it.
  QCOMPARE(rig.Controller.WindowRequests().size(), requests);
  QCOMPARE(WritingTraffic(rig.Controller), QStringList());
  for (const QByteArray &command : rig.Controller.MonitorCommands()) QCOMPARE(command, QByteArray("\r"));
  QCOMPARE(rig.Controller.Locked(), lock == "1");
  const QStringList line = LastJournalLine();
  QCOMPARE(JournalField(line, "Mode"), QStringLiteral("identify"));
  QCOMPARE(JournalField(line, "Outcome"), outcome);
}

void TestExamination::verifiesWithoutWriting_data() {
  QTest::addColumn<int>("changedAddress");  // -1: none
  QTest::addColumn<bool>("lockedBefore");
  QTest::addColumn<bool>("cycleUnlocks");
  QTest::addColumn<QString>("outcome");
  QTest::addColumn<QStringList>("writes");
  QTest::addColumn<QString>("reportLine");
  QTest::newRow("equal") << -1 << false << false << "verified: equal" << QStringList{"write 500"}
                         << "The controller's parameter memory equals the parameter list.";
  QTest::newRow("one byte changed") << 0x0101 << false << false << "verified: 1 record(s) differ"
                                    << QStringList{"write 500"}
                                    << "  Line 5, \"Minus three\" (Size 1, value -3): expected FD (253), read 2C (44)";
  QTest::newRow("locked, kept over the cycle") << -1 << true << false << "verified: equal"
                                               << QStringList{"write 500"} << "Records compared: 4, equal: 4, different: 0.";
  QTest::newRow("locked, undone by the cycle")
      << -1 << true << true
      << "verified: equal; The controller was locked before and no longer after the power cycle: it was locked again."
      << QStringList{"write 500", "write 501"}
      << "The controller was locked before and no longer after the power cycle: it was locked again.";
  // Equal, but not left as it was found: no plain success.
  QTest::newRow("locked, undone by the cycle, locking again refused")
      << -2 << true << true
      << "verified: equal, lock not restored; The controller was locked before and no longer after the power cycle; "
         "locking it again failed."
      << QStringList{"write 500", "write 501", "write 501", "write 501"}
      << "The controller was locked before and no longer after the power cycle; locking it again failed.";
}

void TestExamination::verifiesWithoutWriting() {
  QFETCH(int, changedAddress);
  QFETCH(bool, lockedBefore);
  QFETCH(bool, cycleUnlocks);
  QFETCH(QString, outcome);
  QFETCH(QStringList, writes);
  QFETCH(QString, reportLine);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.ChooseParameterList(rig.Write("list.txt", List));
  FillParameterMemory(rig.Controller, rig.Host.ParameterPath);
  if (changedAddress >= 0) rig.Controller.SetParameterByte(quint16(changedAddress), 0x2C);
  rig.Controller.SetWindow(501, lockedBefore ? "1" : "0");
  const bool relockRefused = changedAddress == -2;
  rig.OnMessage = [&](const QString &text) {
    if (!cycleUnlocks || !text.startsWith(texts::PowerCyclePrompt.section('\n', 0, 0))) return;
    rig.Controller.SetWindow(501, "0");
    sim::Faults refusing;
    refusing.RejectWrites = 3;
    if (relockRefused) rig.Controller.SetFaults(refusing);
  };
  const auto memoryBefore = rig.Controller.ParameterMemory();

  const VerifyRun run = RunVerify(rig.Host, QDir::current());

  QCOMPARE(run.Result, UploadResult::Uploaded);
  QCOMPARE(run.Equal(), changedAddress < 0);
  QCOMPARE(run.LockNotRestored(), relockRefused);
  QCOMPARE(run.Comparison.Counts().Compared, 4);
  QCOMPARE(run.Comparison.Counts().NotCompared, 3);  // two header records and the Size 3 one
  QVERIFY2(rig.Host.Messages.last().split('\n').contains(reportLine), qPrintable(rig.Host.Messages.last()));
  QCOMPARE(WritingTraffic(rig.Controller), writes);
  QCOMPARE(rig.Controller.ParameterMemory(), memoryBefore);
  QCOMPARE(rig.Controller.Locked(), lockedBefore && !relockRefused);
  QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::Application);
  const QStringList line = LastJournalLine();
  QCOMPARE(JournalField(line, "Mode"), QStringLiteral("verify"));
  QCOMPARE(JournalField(line, "Outcome"), outcome);
  QCOMPARE(JournalField(line, "Controller S/N"), QString::fromLatin1(rig.Controller.Window(323).trimmed()));
}

// On a paced line the CR LF after the monitor's "Q" may come after the tool
// has its "Q" (a busy machine reads late, a line delivers late): the tail is
// never the first read-back's answer, so nothing is read twice or differs.
void TestExamination::verifyTakesTheModeAnswerWhole_data() {
  QTest::addColumn<int>("tailMs");
  for (int ms : {0, 2, 5, 20, 200}) QTest::addRow("tail %d ms late", ms) << ms;
}

void TestExamination::verifyTakesTheModeAnswerWhole() {
  QFETCH(int, tailMs);
  DriverRig rig(sim::Dialect::E, true);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.ChooseParameterList(rig.Write("list.txt", List));
  FillParameterMemory(rig.Controller, rig.Host.ParameterPath);
  sim::Faults late;
  late.ModeAnswerTailMs = tailMs;
  rig.Controller.SetFaults(late);

  const VerifyRun run = RunVerify(rig.Host, QDir::current());

  QCOMPARE(run.Result, UploadResult::Uploaded);
  QVERIFY(run.Equal());
  QCOMPARE(rig.Host.Port().Repeats().Exchanges, 0);
  QCOMPARE(expect::MonitorCommandCount(rig.Controller, "R", 6), 8);  // one per byte of the list, none again
}

// Stopped at its power cycle, a verification says what the controller needs
// and points at no backup: it wrote none.
void TestExamination::stoppedAtThePowerCycle() {
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.ChooseParameterList(rig.Write("list.txt", List));
  rig.FollowsPrompts = false;
  rig.Host.OnPrompt = [&](PromptKind kind) {
    if (kind != PromptKind::PowerCycle) return PromptAnswer::Continue;
    rig.Host.StopReason = "The verification was stopped.";
    return PromptAnswer::Abort;
  };
  QCOMPARE(RunVerify(rig.Host, QDir::current()).Result, UploadResult::Interrupted);
  QCOMPARE(rig.Host.Messages.last(), QStringLiteral("The verification was stopped.\nNothing in the controller was "
                                                    "written: switch it off and on to bring it back from its monitor."));
  QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::ParameterMonitor);
}

// An unreadable list and a controller that never reaches its monitor end the
// verification as they would end an upload, having written nothing.
void TestExamination::refusesBeforeSending() {
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.ChooseParameterList(rig.WorkDir.filePath("missing.txt"));
  QCOMPARE(RunVerify(rig.Host, QDir::current()).Result, UploadResult::Refused);
  QCOMPARE(rig.Controller.Received(), QByteArray());

  rig.ChooseParameterList(rig.Write("list.txt", List));
  sim::Faults faults;
  faults.RejectAllWrites = true;  // window 500 refused: the monitor is never reached
  rig.Controller.SetFaults(faults);
  QCOMPARE(RunVerify(rig.Host, QDir::current()).Result, UploadResult::Interrupted);
  QVERIFY(rig.Host.Messages.last().startsWith(texts::ErrorDuring("setting in monitor mode")));
  QCOMPARE(WritingTraffic(rig.Controller), QStringList({"write 500", "write 500", "write 500"}));
  QCOMPARE(JournalField(LastJournalLine(), "Outcome"), QStringLiteral("interrupted"));
}

void TestExamination::recordComparison_data() {
  QTest::addColumn<QList<quint8>>("expected");
  QTest::addColumn<QList<int>>("read");
  QTest::addColumn<bool>("equal");
  QTest::addColumn<QString>("value");  // what was read, converted as the read-back converts it
  QTest::newRow("Size 1, 300 is 2C") << QList<quint8>{0x2C} << QList<int>{0x2C} << true << "44";
  QTest::newRow("Size 1, -3 is FD") << QList<quint8>{0xFD} << QList<int>{0xFD} << true << "253";
  QTest::newRow("Size 2, high byte differs") << QList<quint8>{0x01, 0x02} << QList<int>{0x11, 0x02} << false << "4354";
  QTest::newRow("Size 2 reads unsigned") << QList<quint8>{0xFF, 0xFF} << QList<int>{0xFF, 0xFF} << true << "65535";
  QTest::newRow("Size 4 reads signed") << QList<quint8>{0xFF, 0xFF, 0xFF, 0xFE} << QList<int>{0xFF, 0xFF, 0xFF, 0xFE}
                                       << true << "-2";
  QTest::newRow("a reply without a byte") << QList<quint8>{0x2C} << QList<int>{-1} << false << "";
  QTest::newRow("read-back cut short") << QList<quint8>{0x01, 0x02} << QList<int>{0x01} << false << "1";
}

void TestExamination::recordComparison() {
  QFETCH(QList<quint8>, expected);
  QFETCH(QList<int>, read);
  QFETCH(bool, equal);
  QFETCH(QString, value);
  RecordComparison record{7, "P", qint16(expected.size()), 0, expected, read, QList<QByteArray>(read.size())};
  QCOMPARE(record.Equal(), equal);
  QCOMPARE(ReadBackValueText(read), value);
  ParameterComparison comparison{{record}, true};
  QCOMPARE(comparison.AllEqual(), equal);
  QCOMPARE(ComparisonText(comparison).contains("Line 7, \"P\""), !equal);
}

void TestExamination::autoTakesTheOneAnsweringPort_data() {
  QTest::addColumn<QList<int>>("answering");  // indices among four simulated ports
  QTest::addColumn<int>("found");             // port number, 0: refused
  QTest::addColumn<int>("limitMs");           // per port
  QTest::newRow("one of four") << QList<int>{2} << 3 << PortSearchLimitMs;
  QTest::newRow("none") << QList<int>{} << 0 << PortSearchLimitMs;
  QTest::newRow("two") << QList<int>{0, 3} << 0 << PortSearchLimitMs;
  // A port still at it when the limit is up is given up on, not waited for:
  // a silent one takes 1.5 s to say nothing answers.
  QTest::newRow("the limit up before the silent ones end") << QList<int>{2} << 3 << 100;
}

void TestExamination::autoTakesTheOneAnsweringPort() {
  QFETCH(QList<int>, answering);
  QFETCH(int, found);
  QFETCH(int, limitMs);
  std::vector<std::unique_ptr<sim::SimulatedController>> controllers;
  QList<NumberedPort> ports;
  for (int i = 0; i < 4; ++i) {
    controllers.push_back(std::make_unique<sim::SimulatedController>());
    QVERIFY(controllers.back()->Start());
    sim::Faults faults;
    faults.Silent = !answering.contains(i);
    controllers.back()->SetFaults(faults);
    ports << NumberedPort{i + 1, {controllers.back()->SlavePath(), {}, {}, {}}};
  }
  ports << NumberedPort{5, {QStringLiteral("/dev/no-such-port"), {}, {}, {}}};

  const QList<PortFinding> findings = SearchPorts(ports, limitMs);
  const PortVerdict verdict = ChooseAnsweringPort(findings);

  QCOMPARE(findings.size(), 5);
  QVERIFY(!findings[4].Opened);
  QCOMPARE(verdict.Found ? verdict.Found->Number : 0, found);
  if (!found) QVERIFY2(verdict.Refusal.contains(controllers[0]->SlavePath()), qPrintable(verdict.Refusal));
  QCOMPARE(FindingsText(findings).contains("  1  " + controllers[0]->SlavePath() + "  did not answer in time"),
           limitMs < PortSearchLimitMs);
  if (limitMs < PortSearchLimitMs) return;  // the silent ones' probes go on in the background
  // The same harmless words on every port: a read of 310 and lone CRs.
  for (int i = 0; i < 4; ++i) {
    const auto &controller = controllers[size_t(i)];
    QCOMPARE(controller->WindowRequests().size(), answering.contains(i) ? 1 : SilentReadAttempts);
    QCOMPARE(WritingTraffic(*controller), QStringList());
  }
}

QTEST_GUILESS_MAIN(TestExamination)
#include "test_examination.moc"
