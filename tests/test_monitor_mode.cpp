// Switching a running controller into its monitor, the monitor-mode check and
// the CRC command.
#include "FailureRecord.h"
#include "ScriptedHost.h"
#include "SimLink.h"
#include "Exchanges.h"
#include "IdentificationBackup.h"
#include "MonitorMode.h"

#include <QtTest>

class MonitorModeTest : public QObject {
  Q_OBJECT
  FailureRecord rec;
  SimLink link;

  sim::SimulatedController &Sim() { return *link.Controller; }

 private slots:
  void initTestCase() { QVERIFY2(link.Start(), qPrintable(link.Error)); }

  void init() {
    rec = {};
    link.Reset(sim::Mode::Application);
  }

  void setMonitorModeSwitchesAndClearsTheFlag() {
    Sim().SetMode(sim::Mode::Application);
    ScriptedHost host(link.Port);
    Into(rec, StoreControllerParameters(link.Port, host.Frame, host.Check));  // any earlier step
    rec.Flagged = true;
    Into(rec, SetMonitorMode(link.Port, host.Frame));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Sim().CurrentMode(), sim::Mode::ParameterMonitor);
    QVERIFY(MonitorModeCheck(link.Port));
    const int start = host.Events.indexOf("caption Setting Controller in Monitor Mode");
    QCOMPARE(host.Events.mid(start - 2, 14),
             QStringList({"min 0", "max 5", "caption Setting Controller in Monitor Mode", "repaint", "value 0",
                          "wait 0.1", "value 1", "wait 0.1", "value 2", "wait 0.1", "value 3", "wait 0.1", "value 4",
                          "wait 0.1"}));
    QCOMPARE(host.Events.mid(host.Events.size() - 2), QStringList({"value 5", "wait 0.5"}));
  }

  void failedRequestStillLeavesTheFlagClear() {
    Sim().SetMode(sim::Mode::Application);
    sim::Faults f;
    f.RejectAllWrites = true;
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    rec.Flagged = true;
    Into(rec, SetMonitorMode(link.Port, host.Frame));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Sim().WindowRequests().size(), 3);
    QCOMPARE(rec.Count, 0);  // the monitor-mode check is the verdict
    QCOMPARE(Sim().CurrentMode(), sim::Mode::Application);
    QVERIFY(!MonitorModeCheck(link.Port));  // the application ignores "U"
  }

  void crcCommandText() {
    QCOMPARE(CrcCommand(65535), QByteArray("CFFFF\r"));
    QCOMPARE(CrcCommand(4660), QByteArray("C1234\r"));
    QCOMPARE(CrcCommand(0), QByteArray("C0\r"));
    QCOMPARE(CrcCommand(-1), QByteArray("CFFFFFFFF\r"));
  }

  void sendCrcHandsTheValueOver() {
    Sim().SetMode(sim::Mode::ParameterMonitor);
    ScriptedHost host(link.Port);
    host.Check = true;
    Into(rec, SendCrc(link.Port, host.Frame, host.Check, 65535));
    QCOMPARE(Sim().MonitorCommands(), QList<QByteArray>({"\r", "CFFFF\r"}));
    QCOMPARE(Sim().LastCrc().value_or(0), 65535u);
    QVERIFY(!rec.Flagged);
    QCOMPARE(host.Events.mid(0, 4), QStringList({"min 0", "max 5", "caption Sending CRC", "repaint"}));
    QCOMPARE(host.EventsStartingWith("value"),
             QStringList({"value 0", "value 1", "value 2", "value 3", "value 4", "value 5"}));
  }

  void wrongCrcAnswerFailsOnlyWithCheckErrors() {
    Sim().SetMode(sim::Mode::ParameterMonitor);
    sim::Faults f;
    f.CrcReplyCrLf = true;
    Sim().SetFaults(f);
    ScriptedHost pushing(link.Port);
    Into(rec, SendCrc(link.Port, pushing.Frame, pushing.Check, 4660));
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 1);

    ScriptedHost checking(link.Port);
    checking.Check = true;
    Into(rec, SendCrc(link.Port, checking.Frame, checking.Check, 4660));
    QVERIFY(rec.Flagged);
    QCOMPARE(checking.Progress.Value, 5);
  }

  void silentMonitorLeavesTheFlagAloneWithoutCheckErrors() {
    Sim().SetMode(sim::Mode::ParameterMonitor);
    sim::Faults f;
    f.SilentMonitor = true;
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    Into(rec, SendCrc(link.Port, host.Frame, host.Check, 0));
    QVERIFY(!rec.Flagged);
    QVERIFY(!MonitorModeCheck(link.Port));
  }

  void wholeStepOnARealLineRate() {
    Sim().SetPaced(true);
    Sim().SetMode(sim::Mode::Application);
    ScriptedHost host(link.Port);
    host.SleepOnWait = true;  // replies take their time at 9600 baud
    host.Check = true;
    Into(rec, SetMonitorMode(link.Port, host.Frame));
    // The prompt takes 12.5 ms to arrive: let it settle, or its tail answers "U".
    SettledExchange(link.Port, "\r", 1);
    QVERIFY(MonitorModeCheck(link.Port));
    Into(rec, SendCrc(link.Port, host.Frame, host.Check, -1));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Sim().LastCrc().value_or(0), 0xFFFFFFFFu);
  }
};

QTEST_GUILESS_MAIN(MonitorModeTest)
#include "test_monitor_mode.moc"
