// Writing the parameter list byte by byte and reading it back.
#include "FailureRecord.h"
#include "ParameterList.h"
#include "ScriptedHost.h"
#include "SimLink.h"
#include "TestFiles.h"
#include "ParameterTransfer.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(sim::ReadBackForm)

class ParameterTransferTest : public QObject {
  Q_OBJECT
  FailureRecord rec;
  SimLink link;
  QTemporaryDir dir;

  sim::SimulatedController &Sim() { return *link.Controller; }

  QList<QByteArray> Commands(char letter) const {
    QList<QByteArray> out;
    for (const QByteArray &c : link.Controller->MonitorCommands())
      if (c.startsWith(letter)) out << c;
    return out;
  }

  QString List(const QByteArray &start, const QList<Param> &params) {
    return WriteTestFile(dir.path(), "list.txt", ParameterList(start, params));
  }

 private slots:
  void initTestCase() { QVERIFY2(link.Start(), qPrintable(link.Error)); }

  void init() {
    rec = {};
    link.Reset(sim::Mode::ParameterMonitor);
  }

  void commandsFollowTheRunningAddress_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("decimal") << QByteArray("256");
    QTest::newRow("hex") << QByteArray("&H100");
  }
  void commandsFollowTheRunningAddress() {
    QFETCH(QByteArray, start);
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ParameterPath = List(start, {{2, 258}, {4, -2}, {1, 300}});
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QCOMPARE(Commands('E'), QList<QByteArray>({"E010001\r", "E010102\r", "E0102FF\r", "E0103FF\r", "E0104FF\r",
                                                "E0105FE\r", "E01062C\r"}));
    QVERIFY(!rec.Flagged);
    QCOMPARE(host.Events.mid(0, 4), QStringList({"caption Sending Parameter List", "min 0", "value 0", "max 5"}));
    // Two header records and three parameters, all counted.
    QCOMPARE(host.Progress.Value, 5);
  }

  void oddSizesSendNothingButVerificationReadsThem() {
    ScriptedHost host(link.Port);
    host.Check = true;
    QByteArray text = ParameterList("&H200", {{1, 0x11}, {3, 5}, {0, 9}, {1, 0x22}});
    text += "Spare,text,7\r\n";
    host.ParameterPath = WriteTestFile(dir.path(), "list.txt", text);
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QCOMPARE(Commands('E'), QList<QByteArray>({"E020011\r", "E020122\r"}));
    QCOMPARE(host.Progress.Value, host.Progress.Max);  // the bar stops at its end
    Sim().ClearReceived();
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QCOMPARE(Commands('R'), QList<QByteArray>({"R0200\r", "R0201\r", "R0202\r", "R0203\r", "R0204\r"}));
    // Addresses drift apart after the size 3 record; comparing by address keeps the verdict right.
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 0);
  }

  void addressWrapsAtTheTop() {
    ScriptedHost host(link.Port);
    host.ParameterPath = List("&HFFFF", {{1, 1}, {1, 2}});
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QCOMPARE(Commands('E'), QList<QByteArray>({"EFFFF01\r", "E000002\r"}));
    host.ParameterPath = List("&H7FFF", {{2, 0x0102}});
    Sim().ClearReceived();
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QCOMPARE(Commands('E'), QList<QByteArray>({"E7FFF01\r", "E800002\r"}));
  }

  // The same wrong answer to every attempt is the monitor's word.
  void wrongAcknowledgementStopsOnlyWithCheckErrors() {
    sim::Faults f;
    f.ParamWriteCrLf = true;
    Sim().SetFaults(f);
    ScriptedHost checking(link.Port);
    checking.Check = true;
    checking.ParameterPath = List("&H100", {{2, 258}, {1, 1}});
    Into(rec, SendParameterList(link.Port, checking.Frame, checking.Check, ListOf(checking)));
    QCOMPARE(Commands('E').size(), ByteWriteAttempts);
    QVERIFY(rec.Flagged);

    rec = {};
    Sim().ClearReceived();
    ScriptedHost pushing(link.Port);
    pushing.ParameterPath = checking.ParameterPath;
    Into(rec, SendParameterList(link.Port, pushing.Frame, pushing.Check, ListOf(pushing)));
    // The first byte uses every attempt; the rest, the monitor refusing, one each.
    QCOMPARE(Commands('E').size(), ByteWriteAttempts + 2);
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 3);

    // Answers that differ from attempt to attempt are the line's: no verdict,
    // the writing goes on and the read-back finds the bytes right.
    f.ParamWriteCrLf = false;
    f.SpoiledWriteReplies = ByteWriteAttempts;
    Sim().SetFaults(f);
    rec = {};
    Sim().ClearReceived();
    Into(rec, SendParameterList(link.Port, checking.Frame, checking.Check, ListOf(checking)));
    QCOMPARE(Commands('E').size(), ByteWriteAttempts + 2);
    QVERIFY(!rec.Flagged);
    Into(rec, VerifyParameterList(link.Port, checking.Frame, checking.Check, ListOf(checking)));
    QVERIFY(!rec.Flagged);
    QCOMPARE(Sim().ParameterMemory().at(0x0102), quint8(1));
  }

  void readBackTakesEveryFormAndCatchesAWrongByte_data() {
    QTest::addColumn<sim::ReadBackForm>("form");
    QTest::newRow("2C CR") << sim::ReadBackForm::Plain;
    QTest::newRow("lower case") << sim::ReadBackForm::LowerCase;
    QTest::newRow("CR LF after") << sim::ReadBackForm::CrLf;
    QTest::newRow("line ends before") << sim::ReadBackForm::LineEndFirst;
    QTest::newRow("blanks around") << sim::ReadBackForm::Blanks;
    QTest::newRow("echo on its own line") << sim::ReadBackForm::Echo;
    QTest::newRow("echo on the same line") << sim::ReadBackForm::EchoSameLine;
  }
  void readBackTakesEveryFormAndCatchesAWrongByte() {
    QFETCH(sim::ReadBackForm, form);
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ParameterPath = List("&H100", {{2, 258}, {4, 0x0A0B0C0D}});
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    sim::Faults f;
    f.ReadBack = form;
    Sim().SetFaults(f);
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 0);

    f.WrongReadAddress = 0x0104;
    Sim().SetFaults(f);
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QVERIFY(rec.Flagged);
    QCOMPARE(rec.Detail, QString("Address 0104: wrote 0C, read back F3."));

    rec = {};
    host.Check = false;
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 1);
  }

  // One byte, nothing more: the tool's own request looped back, another
  // address's echo, trailing text or a second byte are no read-back.
  void readBackTakesOneByteAndNothingElse_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("seen");  // as the failure detail shows it; empty: accepted
    QTest::newRow("2C CR") << QByteArray("2C\r") << QString();
    QTest::newRow("line ends and blanks around") << QByteArray("\r\n\t2c \r\n") << QString();
    QTest::newRow("after the echo") << QByteArray("R0105\r\n2C\r\n") << QString();
    QTest::newRow("after the echo, same line") << QByteArray("R0105 2C\r\n") << QString();
    QTest::newRow("looped-back request") << QByteArray("R0105\r") << QString("\"R0105\\r\"");
    QTest::newRow("echo of another address") << QByteArray("R0104\r\n2C\r\n") << QString("\"R0104\\r\\n2C\\r\\n\"");
    QTest::newRow("echo run into the byte") << QByteArray("R01052C\r") << QString("\"R01052C\\r\"");
    QTest::newRow("trailing text") << QByteArray("2C OK\r\n") << QString("\"2C OK\\r\\n\"");
    QTest::newRow("two bytes") << QByteArray("2C2D\r") << QString("\"2C2D\\r\"");
    QTest::newRow("two bytes, blank between") << QByteArray("2C 2D\r\n") << QString("\"2C 2D\\r\\n\"");
    QTest::newRow("one digit") << QByteArray("C\r") << QString("\"C\\r\"");
    QTest::newRow("refusal") << QByteArray("?\r\n") << QString("\"?\\r\\n\"");
  }
  void readBackTakesOneByteAndNothingElse() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, seen);
    sim::Faults f;
    f.ReadBackOverride = reply;
    Sim().SetFaults(f);
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ParameterPath = List("&H105", {{1, 0x2C}});
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    // A reply that is no read-back is asked again, every round.
    QCOMPARE(Commands('R'), QList<QByteArray>(seen.isEmpty() ? 1 : MendRounds, "R0105\r"));
    QCOMPARE(rec.Flagged, !seen.isEmpty());
    QCOMPARE(rec.Detail, seen.isEmpty() ? QString() : "Address 0105: wrote 2C, read back " + seen + ".");
  }

  void silentMonitorFailsTheVerificationAndSaysSo() {
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ParameterPath = List("&H100", {{1, 5}});
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    sim::Faults f;
    f.SilentMonitor = true;
    Sim().SetFaults(f);
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QVERIFY(rec.Flagged);
    QCOMPARE(rec.Detail, QString("Address 0100: wrote 05, read back nothing."));
    // A failed write pass leaves nothing to say about what was written.
    rec.Detail.clear();
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QCOMPARE(rec.Detail, QString());
  }

  void realLineRateWithCheckErrorsFillsTheMemory() {
    Sim().SetPaced(true);
    ScriptedHost host(link.Port);
    host.Check = true;
    host.ParameterPath = List("&H0400", {{2, 1500}, {4, -123456}, {1, 7}, {3, 0}, {2, -1}});
    Into(rec, SendParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    Into(rec, VerifyParameterList(link.Port, host.Frame, host.Check, ListOf(host)));
    QVERIFY(!rec.Flagged);
    QCOMPARE(rec.Count, 0);
    QString error;
    const std::map<quint16, quint8> expected = ParameterByteMap(host.ParameterPath, &error);
    const std::map<quint16, quint8> memory = Sim().ParameterMemory();
    for (const auto &[address, byte] : expected) QCOMPARE(int(memory.at(address)), int(byte));
    QCOMPARE(int(expected.size()), 9);
  }
};

QTEST_GUILESS_MAIN(ParameterTransferTest)
#include "test_parameter_transfer.moc"
