// The window protocol on the wire: the requests as sent, every reply shape the
// controller can send, and the write retries, over a real port.
#include "SimLink.h"
#include "WindowProtocol.h"
#include "WindowReply.h"

#include <QElapsedTimer>
#include <QtTest>

Q_DECLARE_METATYPE(ReplyKind)

class WindowProtocolTest : public QObject {
  Q_OBJECT
  SimLink link;

  sim::SimulatedController &Sim() { return *link.Controller; }

  WindowReply ReplyTo(const QByteArray &scripted) {
    sim::Faults f;
    f.ReplyOverride = scripted;
    Sim().SetFaults(f);
    return ReadWindow(link.Port, 319);
  }

 private slots:
  void initTestCase() { QVERIFY2(link.Start(), qPrintable(link.Error)); }

  void init() { link.Reset(sim::Mode::Application); }

  void readAndWritesGoOutExactlyOnTheWire() {
    QCOMPARE(ReadWindow(link.Port, 310).Kind, ReplyKind::Data);
    QVERIFY(WriteWindow(link.Port, 310, "N", qint64(123)));
    QVERIFY(WriteWindow(link.Port, 310, "N", QByteArray("123")));
    QCOMPARE(Hex(Sim().Received()), Hex(ReadRequestFrame(310) + WriteRequestFrame(310, "N", "123").repeated(2)));
    // The number 1 and the text "1" make the same monitor-mode request.
    Sim().ClearReceived();
    WriteWindow(link.Port, 500, "L", qint64(1));
    QCOMPARE(Hex(Sim().Received()), QString("02 80 35 30 30 31 31 03 42 36"));
    Sim().SetMode(sim::Mode::Application);
    Sim().ClearReceived();
    WriteWindow(link.Port, 500, "L", QByteArray("1"));
    QCOMPARE(Hex(Sim().Received()), QString("02 80 35 30 30 31 31 03 42 36"));
  }

  void readReturnsTheControllersValue() {
    Sim().SetWindow(320, "PUMP-77");
    const WindowReply r = ReadWindow(link.Port, 320);
    QCOMPARE(r.Kind, ReplyKind::Data);
    QCOMPARE(r.Text, QByteArray("PUMP-77"));
  }

  void statusRepliesAreClassified_data() {
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<ReplyKind>("kind");
    QTest::addColumn<QByteArray>("text");
    const ReplyKind error = ReplyKind::ErrorCode;
    QTest::newRow("ack") << QByteArray("\x06") << ReplyKind::Acknowledged << QByteArray("ACK");
    QTest::newRow("nak") << QByteArray("\x15") << ReplyKind::NegativeAcknowledgement << QByteArray("NACK");
    QTest::newRow("2") << QByteArray("2") << error << QByteArray("UNKNOWN WINDOW");
    QTest::newRow("3") << QByteArray("3") << error << QByteArray("DATA TYPE ERROR");
    QTest::newRow("4") << QByteArray("4") << error << QByteArray("OUT OF RANGE");
    QTest::newRow("5") << QByteArray("5") << error << QByteArray("WIN DISABLED");
    QTest::newRow("0") << QByteArray("0") << error << QByteArray("NACK CODE: 0");
    QTest::newRow("7") << QByteArray("7") << error << QByteArray("NACK CODE: 7");
    QTest::newRow("X") << QByteArray("X") << error << QByteArray("UNKNOWN NACK :X");
  }
  void statusRepliesAreClassified() {
    QFETCH(QByteArray, code);
    QFETCH(ReplyKind, kind);
    QFETCH(QByteArray, text);
    const WindowReply r = ReplyTo(sim::StatusReply(code[0]));
    QCOMPARE(r.Kind, kind);
    QCOMPARE(r.Failed(), kind != ReplyKind::Acknowledged);
    QCOMPARE(r.Text, text);
  }

  void dataRepliesAreTakenAsTheyCome() {
    const QByteArray p123 = sim::DataReply(319, " P123 ");
    QCOMPARE(p123.size(), 15);
    WindowReply r = ReplyTo(p123);
    QCOMPARE(r.Kind, ReplyKind::Data);
    QCOMPARE(r.Text, QByteArray("P123"));
    // Neither a wrong checksum nor stray bytes before the frame change it.
    QByteArray wrong = p123;
    wrong[13] = 'Z';
    QCOMPARE(ReplyTo(wrong).Text, QByteArray("P123"));
    QCOMPARE(ReplyTo("AB" + p123).Text, QByteArray("P123"));
    // A 0x02 inside the frame does not restart it.
    QCOMPARE(ReplyTo(sim::DataReply(319, "A\x02" "B")).Text, QByteArray("A\x02" "B"));
    // Only spaces pad a value: tabs and line ends are the window's own.
    QCOMPARE(ReplyTo(sim::DataReply(319, " \tP1\r\n  ")).Text, QByteArray("\tP1\r\n"));
    // Nine bytes: an empty value, still a success.
    r = ReplyTo(sim::DataReply(319, ""));
    QCOMPARE(r.Kind, ReplyKind::Data);
    QVERIFY(!r.Failed());
    QCOMPARE(r.Text, QByteArray());
  }

  void malformedRepliesFailWithoutHanging() {
    // Complete but too short to hold a data field.
    WindowReply r = ReplyTo(Unhex("02 80 41 42 03 30 30"));
    QCOMPARE(r.Kind, ReplyKind::Malformed);
    QCOMPARE(r.Text, QByteArray("SHORT REPLY"));
    // A frame that never ends is cut off at the protocol's longest frame.
    sim::Faults f;
    f.EndlessStream = true;
    Sim().SetFaults(f);
    r = ReadWindow(link.Port, 310);
    QCOMPARE(r.Kind, ReplyKind::Malformed);
    QCOMPARE(r.Text, QByteArray("REPLY TOO LONG"));
    // So is a stream that never starts one.
    r = ReplyTo(QByteArray(600, 'x'));
    QCOMPARE(r.Kind, ReplyKind::Malformed);
    QCOMPARE(r.Text, QByteArray("NO REPLY FRAME"));
  }

  void incompleteRepliesTimeOutAfterHalfASecond() {
    QElapsedTimer clock;
    clock.start();
    WindowReply r = ReplyTo(Unhex("02 80 06 03 30"));  // ETX and only one checksum character
    QVERIFY(clock.elapsed() >= 500);
    QCOMPARE(r.Kind, ReplyKind::TimedOut);
    QCOMPARE(r.Text, QByteArray("#TIMEOUT#"));

    sim::Faults f;
    f.GapMs = 700;
    f.GapAfterBytes = 4;
    Sim().SetFaults(f);
    QCOMPARE(ReadWindow(link.Port, 310).Text, QByteArray("#TIMEOUT#"));

    f = {};
    f.Silent = true;
    Sim().SetFaults(f);
    clock.restart();
    QCOMPARE(ReadWindow(link.Port, 310).Text, QByteArray("#TIMEOUT#"));
    QVERIFY(clock.elapsed() >= 500);
  }

  void writesAreRetriedThreeTimes() {
    sim::Faults f;
    f.RejectAllWrites = true;
    f.RejectCode = '2';
    Sim().SetFaults(f);
    QVERIFY(!WriteWindow(link.Port, 322, "A", QByteArray("SN1")));
    QCOMPARE(Sim().Received(), WriteRequestFrame(322, "A", "SN1").repeated(3));

    // Acknowledged on the second attempt: two sends, and written.
    Sim().ClearReceived();
    f = {};
    f.RejectWrites = 1;
    Sim().SetFaults(f);
    QVERIFY(WriteWindow(link.Port, 322, "A", QByteArray("SN1")));
    QCOMPARE(Sim().Received(), WriteRequestFrame(322, "A", "SN1").repeated(2));
  }

  // Only an acknowledgement writes, whatever a reply's text reads; a write
  // that got no byte back says so, for a silent controller is no refusal.
  void writesAreJudgedByTheReplyKind_data() {
    QTest::addColumn<QByteArray>("reply");  // to every attempt; empty: none at all
    QTest::addColumn<bool>("written");
    QTest::addColumn<ReplyKind>("last");
    QTest::addColumn<bool>("answered");
    QTest::newRow("acknowledged") << sim::StatusReply('\x06') << true << ReplyKind::Acknowledged << true;
    QTest::newRow("data reply") << sim::DataReply(322, "SN1") << false << ReplyKind::Data << true;
    QTest::newRow("data reply reading ACK") << sim::DataReply(322, "ACK") << false << ReplyKind::Data << true;
    QTest::newRow("NAK") << sim::StatusReply('\x15') << false << ReplyKind::NegativeAcknowledgement << true;
    QTest::newRow("silent") << QByteArray() << false << ReplyKind::TimedOut << false;
  }
  void writesAreJudgedByTheReplyKind() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, written);
    sim::Faults f;
    f.ReplyOverride = reply;
    f.Silent = reply.isEmpty();
    Sim().SetFaults(f);
    const WriteResult result = WriteWindow(link.Port, 322, "A", QByteArray("SN1"));
    QCOMPARE(result.Written, written);
    QCOMPARE(bool(result), written);
    QVERIFY(result.LastReply.has_value());
    QTEST(*result.LastReply, "last");
    QTEST(result.Answered, "answered");
    QCOMPARE(Sim().Received(), WriteRequestFrame(322, "A", "SN1").repeated(written ? 1 : 3));
  }

  void emptyTextIsNotWrittenAndOverlongIsRefused() {
    QVERIFY(WriteWindow(link.Port, 323, "A", QByteArray()));
    QVERIFY(Sim().Received().isEmpty());

    // The longest frame the protocol carries still goes out.
    WriteWindow(link.Port, 323, "A", QByteArray(247, 'x'));
    QCOMPARE(Sim().Received().left(256), WriteRequestFrame(323, "A", QByteArray(247, 'x')));
    QCOMPARE(Sim().Received().size() % 256, 0);

    Sim().ClearReceived();
    QVERIFY(!WriteWindow(link.Port, 323, "A", QByteArray(248, 'x')));
    QVERIFY(Sim().Received().isEmpty());
  }
};

QTEST_GUILESS_MAIN(WindowProtocolTest)
#include "test_window_protocol.moc"
