// The timed receive primitives against a real port: exact bytes, the 0.5 s
// limit, stale input, and replies that arrive in pieces.
#include "SimLink.h"
#include "TestDialects.h"
#include "Exchanges.h"
#include "LineAnswer.h"
#include "WindowProtocol.h"

#include <QElapsedTimer>
#include <QtTest>

Q_DECLARE_METATYPE(Answerer)
Q_DECLARE_METATYPE(sim::Mode)
Q_DECLARE_METATYPE(sim::Dialect)

using Byte = std::optional<quint8>;

class ReceivePrimitivesTest : public QObject {
  Q_OBJECT
  SimLink link;

  sim::SimulatedController &Sim() { return *link.Controller; }

  // Makes the controller's next answer to anything be `bytes`.
  void Script(const QByteArray &bytes) {
    sim::Faults f;
    f.ReplyOverride = bytes;
    Sim().SetFaults(f);
  }

 private slots:
  void initTestCase() { QVERIFY2(link.Start(), qPrintable(link.Error)); }

  void init() { link.Reset(sim::Mode::Application); }

  void readByteKeepsEveryByteValue() {
    Sim().SetMode(sim::Mode::Application);
    Script(QByteArray("\x80\xFF\x00" "A", 4));
    link.Port.SetReadMode(0);
    link.Port.DiscardInput();
    link.Port.SetReadMode(1);
    link.Port.Write(ReadRequestFrame(310));
    QCOMPARE(ReadByte(link.Port), Byte(128));
    QCOMPARE(ReadByte(link.Port), Byte(255));
    QCOMPARE(ReadByte(link.Port), Byte(0));
    QCOMPARE(ReadByte(link.Port), Byte(65));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(ReadByte(link.Port), Byte());
    QVERIFY(clock.elapsed() >= 500);
  }

  void exchangesDiscardStaleInput() {
    Sim().SetMode(sim::Mode::ParameterMonitor);
    const QByteArray q("Q\r\n");
    const qint64 prompt = Sim().WithModel([](const sim::ControllerModel &m) { return m.ParameterPrompt(); }).size();
    qint64 sent = Sim().BytesSent();
    // A stale "Q..." read into Qt's buffer...
    link.Port.Write("U\r");
    QTRY_VERIFY(link.Port.BytesWaiting() > 0);
    QByteArray reply = MonitorExchange(link.Port, "\r");
    QVERIFY2(!reply.startsWith('Q'), reply.constData());
    QVERIFY(reply.startsWith("\r\n"));
    // ...and one still in the system's buffer, never seen by Qt.
    QVERIFY(WaitUntilSent(Sim(), sent += q.size() + prompt));  // the prompt's tail too
    link.Port.DiscardInput();
    link.Port.Write("U\r");
    QVERIFY(WaitUntilSent(Sim(), sent += q.size()));
    reply = MonitorExchange(link.Port, "\r");
    QVERIFY2(!reply.startsWith('Q'), reply.constData());
    QVERIFY(reply.startsWith("\r\n"));
  }

  void countedExchangeReturnsEverythingThatCame() {
    Sim().SetMode(sim::Mode::BootMonitor);
    QCOMPARE(MonitorExchangeCount(link.Port, "\r", 10), Sim().WithModel([](const sim::ControllerModel &m) { return m.BootPrompt(); }));
    QCOMPARE(Sim().WithModel([](const sim::ControllerModel &m) { return m.BootPrompt(); }).size(), 12);

    Sim().SetPromptLength(4);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(MonitorExchangeCount(link.Port, "\r", 10).size(), 4);
    QVERIFY(clock.elapsed() >= 500);
  }

  void silentControllerGivesEmptyAnswersAfterTheLimit() {
    Sim().SetMode(sim::Mode::BootMonitor);
    sim::Faults f;
    f.SilentMonitor = true;
    Sim().SetFaults(f);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(MonitorExchange(link.Port, "\r"), QByteArray());
    QVERIFY(clock.elapsed() >= 500);
  }

  void settledExchangeWaitsForTheWholePrompt() {
    // At 9600 baud a twelve-byte prompt takes 12.5 ms: counting to ten may
    // leave its tail on the wire, settling does not.
    Sim().SetMode(sim::Mode::BootMonitor);
    Sim().SetPaced(true);
    const QByteArray prompt = Sim().WithModel([](const sim::ControllerModel &m) { return m.BootPrompt(); });
    QCOMPARE(SettledExchange(link.Port, "\r", 10), prompt);
    QCOMPARE(SettledExchange(link.Port, "\r", 10), prompt);  // nothing left over to spoil it
    QCOMPARE(SettledExchange(link.Port, "\r", 1), prompt);
    const QByteArray counted = MonitorExchangeCount(link.Port, "\r", 10);
    QVERIFY(counted.size() >= 10 && prompt.startsWith(counted));
    QTRY_COMPARE(link.Port.BytesWaiting(), qint64(prompt.size() - counted.size()));
  }

  // Through a USB converter or a UART's FIFO a long prompt comes in bursts
  // with pauses far longer than two character times between them. Once the
  // window replies have shown those pauses, settling waits each prompt out:
  // every reply is whole and none carries the tail of the one before.
  void settledExchangeWaitsOutTheBurstsOfEveryLine_data() {
    QTest::addColumn<QString>("line");
    for (const char *line : {"usb:16", "usb:32", "fifo"}) QTest::newRow(line) << QString(line);
  }
  void settledExchangeWaitsOutTheBurstsOfEveryLine() {
    QFETCH(QString, line);
    sim::LineDelivery delivery;
    QVERIFY(sim::ParseDelivery(line, delivery));
    Sim().SetPaced(true);
    Sim().SetDelivery(delivery);
    for (int window = 319; window <= 325; ++window) QCOMPARE(ReadWindow(link.Port, window).Kind, ReplyKind::Data);

    Sim().SetMode(sim::Mode::BootMonitor);
    Sim().SetPromptLength(20);  // longer than a burst of either kind
    const QByteArray prompt = Sim().WithModel([](const sim::ControllerModel &m) { return m.BootPrompt(); });
    for (int i = 0; i < 8; ++i) QCOMPARE(SettledExchange(link.Port, "\r", 1), prompt);
  }

  // After a silent first window read, the controller is asked what it runs
  // with nothing but CRs: every state of it takes them harmlessly.
  void whatAnswersALoneCr_data() {
    QTest::addColumn<sim::Mode>("mode");
    QTest::addColumn<sim::Dialect>("dialect");
    QTest::addColumn<Answerer>("who");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("sent");  // after the read request
    QTest::newRow("application: ignores the CR") << sim::Mode::Application << sim::Dialect::E << Answerer::Nothing
                                              << QByteArray() << QByteArray("\r");
    QTest::newRow("switched off") << sim::Mode::Off << sim::Dialect::E << Answerer::Nothing << QByteArray()
                                  << QByteArray("\r");
    for (const TestDialect &d : TestDialects())
      QTest::addRow("boot monitor %s", d.Name) << sim::Mode::BootMonitor << d.Sim << Answerer::BootMonitor << d.Tag
                                               << QByteArray("\r");
    QTest::newRow("parameter monitor: \"?\" to the frame, then its prompt")
        << sim::Mode::ParameterMonitor << sim::Dialect::E << Answerer::ParameterMonitor << QByteArray()
        << QByteArray("\r\r");
  }

  void whatAnswersALoneCr() {
    QFETCH(sim::Mode, mode);
    QFETCH(sim::Dialect, dialect);
    QFETCH(Answerer, who);
    Sim().SetDialect(dialect);
    if (mode == sim::Mode::Off) Sim().PowerOff();
    else Sim().SetMode(mode);
    Sim().ClearReceived();
    ReadWindow(link.Port, 310);
    const LineAnswer answer = AskWhatAnswers(link.Port);
    QCOMPARE(answer.Who, who);
    QTEST(answer.Dialect ? answer.Dialect->Tag : QByteArray(), "tag");
    QFETCH(QByteArray, sent);
    const int reads = mode == sim::Mode::Application ? 1 : SilentReadAttempts;  // silence is asked again
    QCOMPARE(Hex(Sim().Received()), Hex(ReadRequestFrame(310).repeated(reads) + sent));
    Sim().SetDialect(sim::Dialect::E);
  }
};

QTEST_GUILESS_MAIN(ReceivePrimitivesTest)
#include "test_receive_primitives.moc"
