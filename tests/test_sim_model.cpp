// The simulated controller's pure state machine: the reply shapes the link
// and step tests rely on. The pty layer is exercised by those tests.

#include "ControlChannel.h"
#include "TestDialects.h"
#include "ControllerModel.h"
#include "LineDelivery.h"
#include "LineNoise.h"
#include "SRecord.h"

#include <QtTest>

#include <bitset>

using namespace sim;

namespace {

QByteArray Request(const QByteArray &body) {  // body: www cmd data
  QByteArray frame;
  frame.append(STX).append(Address).append(body).append(ETX);
  return frame + FrameChecksum(frame);
}

QByteArray Bytes(const std::vector<Output> &outputs) {
  QByteArray all;
  for (const Output &o : outputs) all += o.Bytes;
  return all;
}

QByteArray Send(ControllerModel &m, const QByteArray &bytes) { return Bytes(m.Feed(bytes)); }

// An S1 record with a correct checksum.
QByteArray S1(quint16 address, const QByteArray &data) {
  QByteArray body;
  body.append(char(data.size() + 3)).append(char(address >> 8)).append(char(address & 0xFF)).append(data);
  quint8 sum = 0;
  for (char b : body) sum += quint8(b);
  body.append(char(~sum));
  return "S1" + body.toHex().toUpper();
}

QByteArray Tag(const QByteArray &reply) { return reply.mid(7, 3); }  // characters 8 to 10

constexpr qint64 C = CharacterNs;
constexpr qint64 Ms = 1'000'000;

// `count` bytes sent back to back from `start`: when each is complete.
std::vector<qint64> Paced(int count, qint64 start = 0) {
  std::vector<qint64> out;
  for (int i = 1; i <= count; ++i) out.push_back(start + i * C);
  return out;
}

std::vector<qint64> operator+(std::vector<qint64> a, const std::vector<qint64> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Expected hand-overs: `count` bytes together at `at`.
struct Burst {
  int Count;
  qint64 At;
};

std::vector<qint64> Bursts(std::initializer_list<Burst> bursts) {
  std::vector<qint64> out;
  for (const Burst &b : bursts) out.insert(out.end(), size_t(b.Count), b.At);
  return out;
}

// `bytes` fed with noise marked on the bytes at `struck`.
QByteArray SendStruck(ControllerModel &m, const QByteArray &bytes, const QList<int> &struck) {
  QByteArray out;
  for (int i = 0; i < bytes.size(); ++i) {
    ByteNote note;
    note.Struck = struck.contains(i);
    out += Bytes(m.Feed(bytes[i], note));
  }
  return out;
}

ControllerModel BootMonitor(Dialect dialect) {
  ControllerModel m(dialect);
  m.PowerOff();
  m.SetBridge(true);
  m.PowerOn();
  return m;
}

}  // namespace

class TestSimModel : public QObject {
  Q_OBJECT

 private slots:
  void lineDelivery_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<std::vector<qint64>>("complete");
    QTest::addColumn<std::vector<qint64>>("handedOver");
    QTest::newRow("even: as sent") << "even" << Paced(3, 5 * Ms) << Paced(3, 5 * Ms);
    // 20.8 ms of reply from 0: 15 bytes are complete by the tick at 16 ms.
    QTest::newRow("usb: bursts at the timer's ticks") << "usb:16" << Paced(20) << Bursts({{15, 16 * Ms}, {5, 32 * Ms}});
    QTest::newRow("usb: the timer runs free, not from the first byte")
        << "usb:16" << Paced(3, 14 * Ms) << Bursts({{1, 16 * Ms}, {2, 32 * Ms}});
    QTest::newRow("usb: a byte on a tick waits for the next") << "usb:16" << std::vector<qint64>{16 * Ms}
                                                              << std::vector<qint64>{32 * Ms};
    QTest::newRow("usb: 32 ms") << "usb:32" << Paced(40) << Bursts({{30, 32 * Ms}, {10, 64 * Ms}});
    // A slow timer: a full packet goes at once.
    QTest::newRow("usb: 62-byte packets") << "usb:255" << Paced(100) << Bursts({{62, 62 * C}, {38, 255 * Ms}});
    QTest::newRow("usb: packets of bytes that came together")
        << "usb:16" << std::vector<qint64>(130, Ms) << Bursts({{62, Ms}, {62, Ms}, {6, 16 * Ms}});
    QTest::newRow("fifo: trigger level") << "fifo" << Paced(30) << Bursts({{14, 14 * C}, {14, 28 * C}, {2, 34 * C}});
    QTest::newRow("fifo: time-out after four quiet characters")
        << "fifo" << Paced(3) + Paced(2, 5 * C + C / 2) << Bursts({{5, 7 * C + C / 2 + 4 * C}});
    QTest::newRow("fifo: four quiet characters end a burst")
        << "fifo" << Paced(3) + Paced(2, 6 * C) << Bursts({{3, 7 * C}, {2, 12 * C}});
  }

  void lineDelivery() {
    QFETCH(QString, line);
    QFETCH(std::vector<qint64>, complete);
    QFETCH(std::vector<qint64>, handedOver);
    LineDelivery delivery;
    QVERIFY(ParseDelivery(line, delivery));
    QCOMPARE(DeliveryName(delivery), line);
    QCOMPARE(DeliveryTimes(complete, delivery), handedOver);
  }

  void lineDeliveryNames() {
    LineDelivery d;
    QVERIFY(ParseDelivery("USB", d));
    QCOMPARE(d.LatencyMs, 16);
    for (const char *bad : {"usb:0", "usb:256", "usb:", "fifo:14", "uart", ""}) QVERIFY2(!ParseDelivery(bad, d), bad);
  }

  void noiseNames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("rate");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QString>("name");
    QTest::newRow("a fraction") << "1/1000" << true << 0.001 << 1u << "1/1000";
    QTest::newRow("a decimal with a seed") << "0.001:7" << true << 0.001 << 7u << "1/1000:7";
    QTest::newRow("an exponent") << " 1e-2 " << true << 0.01 << 1u << "1/100";
    QTest::newRow("no whole fraction") << "0.003" << true << 0.003 << 1u << "0.003";
    QTest::newRow("off") << "off" << true << 0.0 << 1u << "off";
    QTest::newRow("0 with a seed") << "0:5" << true << 0.0 << 5u << "off:5";
    for (const char *bad : {"2", "-0.001", "1/0", "1/", "x", "nan", "0.1:-1", "0.1:2:3", ""})
      QTest::newRow(qPrintable(QStringLiteral("refused: \"%1\"").arg(bad))) << bad << false << 0.0 << 1u << "";
  }

  void noiseNames() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, rate);
    QFETCH(quint32, seed);
    QFETCH(QString, name);
    LineNoise noise{0.5, 99};
    QCOMPARE(ParseNoise(text, noise), ok);
    if (!ok) {
      QCOMPARE(noise.Rate, 0.5);  // untouched
      return;
    }
    QCOMPARE(noise.Rate, rate);
    QCOMPARE(noise.Seed, seed);
    QCOMPARE(NoiseName(noise), name);
    LineNoise back;
    QVERIFY(ParseNoise(NoiseName(noise), back));
    QCOMPARE(back.Rate, noise.Rate);
    QCOMPARE(back.Seed, noise.Seed);
  }

  // Over a million bytes: events at the rate, half of them losses, each flip
  // a single bit and every bit as likely.
  void noiseOdds_data() {
    QTest::addColumn<double>("rate");
    QTest::newRow("1 in 1,000") << 0.001;
    QTest::newRow("1 in 100") << 0.01;
    QTest::newRow("1 in 10") << 0.1;
  }

  void noiseOdds() {
    QFETCH(double, rate);
    constexpr int Count = 1'000'000;
    NoiseStream stream({rate, 11}, NoiseEvent::ToTool);
    int events = 0;
    int lost = 0;
    int bits[8] = {};
    for (int i = 0; i < Count; ++i) {
      const std::optional<NoiseEvent> e = stream.Draw(0x5A);
      if (!e) continue;
      ++events;
      QCOMPARE(e->Before, quint8(0x5A));
      if (e->What == NoiseEvent::Lost) {
        ++lost;
        continue;
      }
      const std::bitset<8> flipped(e->Before ^ e->After);
      QCOMPARE(flipped.count(), size_t(1));
      for (int b = 0; b < 8; ++b) bits[b] += flipped[size_t(b)];
    }
    const double expected = Count * rate;
    QVERIFY2(std::abs(events - expected) <= 5 * std::sqrt(expected), qPrintable(QString::number(events)));
    QVERIFY2(std::abs(lost - events / 2.0) <= 2.5 * std::sqrt(events), qPrintable(QString::number(lost)));
    const double perBit = (events - lost) / 8.0;
    for (int b = 0; b < 8; ++b)
      QVERIFY2(std::abs(bits[b] - perBit) <= 5 * std::sqrt(perBit), qPrintable(QStringLiteral("bit %1: %2").arg(b).arg(bits[b])));
  }

  // Neither a CRC nor a write carries a checksum: the ones noise changed
  // where no read-back can show it are counted.
  void parameterBlindSpots_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("struck");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("hits");
    QTest::newRow("a write's address garbled: written elsewhere") << QByteArray("E030142\r") << 2 << QByteArray("\r") << 1;
    QTest::newRow("a write's data garbled: the read-back shows it") << QByteArray("E010143\r") << 6 << QByteArray("\r") << 0;
    QTest::newRow("a CRC digit garbled: kept") << QByteArray("C1235\r") << 4 << QByteArray("\r") << 1;
    QTest::newRow("a read's address garbled: only read") << QByteArray("R0300\r") << 2 << QByteArray("FF\r") << 0;
    QTest::newRow("a byte lost before the write: it is whole") << QByteArray("E010142\r") << 0 << QByteArray("\r") << 0;
    QTest::newRow("a garbled write refused") << QByteArray("E01X142\r") << 3 << QByteArray("?\r\n") << 0;
  }

  void parameterBlindSpots() {
    QFETCH(QByteArray, command);
    QFETCH(int, struck);
    QFETCH(QByteArray, answer);
    QFETCH(int, hits);
    ControllerModel m;
    m.SetMode(Mode::ParameterMonitor);
    QCOMPARE(SendStruck(m, command, {struck}), answer);
    QCOMPARE(m.ParameterBlindSpotHits(), hits);
    QCOMPARE(m.BlindSpotHits() + m.StrayCommands(), 0);
    m.ClearRecords();
    QCOMPARE(m.ParameterBlindSpotHits(), 0);
  }

  void readBackFormNames() {
    QSet<QByteArray> names;
    for (ReadBackForm form : ReadBackForms()) {
      ReadBackForm parsed = ReadBackForm::Plain;
      QVERIFY(ParseReadBackForm(ReadBackFormName(form), parsed));
      QCOMPARE(parsed, form);
      names << ReadBackFormName(form);
    }
    QCOMPARE(names.size(), 7);
    ReadBackForm untouched = ReadBackForm::Echo;
    QVERIFY(!ParseReadBackForm("upper", untouched));
    QCOMPARE(untouched, ReadBackForm::Echo);
  }

  void checksumsAndFrames() {
    QCOMPARE(Request("3100"), QByteArray::fromHex("028033313030033831"));
    QCOMPARE(Request("50011"), QByteArray::fromHex("02803530303131034236"));
    QCOMPARE(StatusReply(ACK), QByteArray::fromHex("0280060338") + "5");
    QCOMPARE(FrameChecksum(QByteArray::fromHex("02800a03")), QByteArray("89"));
    QCOMPARE(FrameChecksum(QByteArray::fromHex("02808103")), QByteArray("02"));
  }

  void windowReads() {
    ControllerModel m;
    QCOMPARE(m.CurrentMode(), Mode::Application);
    QCOMPARE(Send(m, Request("3100")), DataReply(310, "001234"));
    QCOMPARE(Send(m, Request("3190")), DataReply(319, "CU-4471-02"));
    QCOMPARE(Send(m, Request("3210")), DataReply(321, "S12 "));
    QCOMPARE(Send(m, Request("3240")), DataReply(324, "MOD-03    "));
    QCOMPARE(Send(m, Request("5000")), DataReply(500, "0"));
    QCOMPARE(Send(m, Request("9990")), StatusReply('2'));
    // Bytes outside a frame are ignored; a bad checksum is refused with NAK.
    QCOMPARE(Send(m, "AB\rU\r"), QByteArray());
    QCOMPARE(Send(m, "\x02\x80" "3100\x03" "00"), StatusReply(NAK));
    QCOMPARE(m.WindowRequests().size(), 7);
  }

  void windowWrites() {
    ControllerModel m;
    QCOMPARE(Send(m, Request("3101000123")), StatusReply(ACK));
    QCOMPARE(m.Window(310), QByteArray("000123"));
    QCOMPARE(Send(m, Request("3191P123      ")), StatusReply(ACK));
    QCOMPARE(m.Window(319), QByteArray("P123"));  // trailing spaces trimmed
    QCOMPARE(Send(m, Request("3190")), DataReply(319, "P123      "));
    QCOMPARE(Send(m, Request("3101ABC")), StatusReply('3'));
    QCOMPARE(Send(m, Request("5001X")), StatusReply('3'));
    QCOMPARE(Send(m, Request("9991" "1")), StatusReply('2'));
    QCOMPARE(Send(m, Request("5011" "1")), StatusReply(ACK));
    QVERIFY(m.Locked());
    // Window 500 = 1: ACK first, then the parameter monitor takes the line.
    QCOMPARE(Send(m, Request("5001" "1")), StatusReply(ACK));
    QCOMPARE(m.CurrentMode(), Mode::ParameterMonitor);
    QCOMPARE(Send(m, Request("3100")), QByteArray());
    QCOMPARE(Send(m, "U\r"), QByteArray("Q\r\n"));
  }

  void windowFaults() {
    ControllerModel m;
    Faults f;
    f.RejectWrites = 2;
    f.RejectCode = '2';
    m.SetFaults(f);
    const QByteArray write = Request("5011" "1");
    QCOMPARE(Send(m, write), StatusReply('2'));
    QCOMPARE(Send(m, write), StatusReply('2'));
    QCOMPARE(Send(m, write), StatusReply(ACK));

    f = Faults();
    f.StrayBytes = "AB";
    f.GapMs = 600;
    m.SetFaults(f);
    std::vector<Output> out = m.Feed(Request("3100"));
    QCOMPARE(out.size(), size_t(2));
    QCOMPARE(out[0].Bytes, "AB" + DataReply(310, "001234").chopped(2));  // through ETX
    QCOMPARE(out[1].DelayMs, 600);
    QCOMPARE(out[1].Bytes, QByteArray("85"));

    f = Faults();
    f.TruncateAfterEtxPlusOne = true;
    m.SetFaults(f);
    QCOMPARE(Send(m, Request("3100")), DataReply(310, "001234").chopped(1));

    f = Faults();
    f.BadChecksum = true;
    m.SetFaults(f);
    const QByteArray bad = Send(m, Request("3100"));
    QCOMPARE(bad.chopped(2), DataReply(310, "001234").chopped(2));
    QVERIFY(bad.right(2) != QByteArray("85"));

    f = Faults();
    f.FailReadOfWindow = 319;
    f.ErrorWindow = 320;
    f.ErrorWindowCode = '4';
    m.SetFaults(f);
    QCOMPARE(Send(m, Request("3190")), QByteArray());
    QCOMPARE(Send(m, Request("3200")), StatusReply('4'));

    f = Faults();
    f.EndlessStream = true;
    m.SetFaults(f);
    out = m.Feed(Request("3100"));
    QCOMPARE(out.size(), size_t(1));
    QVERIFY(out[0].Interruptible);
    QVERIFY(out[0].Bytes.size() >= 4096);
    QVERIFY(out[0].Bytes.startsWith(STX));
    QVERIFY(!out[0].Bytes.contains(ETX));

    f = Faults();
    f.Silent = true;
    m.SetFaults(f);
    QCOMPARE(Send(m, Request("3100")), QByteArray());
  }

  void bootPromptTags() {
    ControllerModel e = BootMonitor(Dialect::E);
    QCOMPARE(e.CurrentMode(), Mode::BootMonitor);
    QByteArray prompt = Send(e, "\r");
    QCOMPARE(prompt.size(), 12);
    QCOMPARE(Tag(prompt), QByteArray("(E)"));

    ControllerModel er = BootMonitor(Dialect::Er);
    prompt = Send(er, "\r");
    QCOMPARE(prompt.size(), 12);
    QCOMPARE(Tag(prompt), QByteArray(" Er"));

    er.SetPromptLength(20);
    prompt = Send(er, "\r");
    QCOMPARE(prompt.size(), 20);
    QCOMPARE(Tag(prompt), QByteArray(" Er"));
    er.SetPromptLength(7);
    QCOMPARE(Tag(Send(er, "\r")), QByteArray());
  }

  void bootErases() {
    ControllerModel e = BootMonitor(Dialect::E);
    QVERIFY(e.ProgramPresent());
    QByteArray reply = Send(e, "E");
    QVERIFY(reply.size() >= 10);
    QCOMPARE(reply.mid(3, 6), QByteArray("Erased"));
    QVERIFY(!e.ProgramPresent());
    reply = Send(e, "C");
    QCOMPARE(reply.mid(3, 6), QByteArray("Erased"));
    QVERIFY(e.Window(319).isEmpty());
    QVERIFY(!e.ParameterSetPresent());
    QCOMPARE(Send(e, "a"), QByteArray());  // the other dialect's letters mean nothing
    QVERIFY(Send(e, "P").size() >= 10);
    // In programming mode a letter is no command: "?" and the line dropped.
    QCOMPARE(Send(e, "P"), QByteArray("?"));
    QCOMPARE(Send(e, "E"), QByteArray());  // dropped up to the CR
    QCOMPARE(Tag(Send(e, "\r")), QByteArray("(E)"));
    QCOMPARE(Send(e, "E"), QByteArray("?"));
    e = BootMonitor(Dialect::E);
    Faults commands;  // the other model: its letters are commands there too
    commands.LettersInProgramming = true;
    e.SetFaults(commands);
    Send(e, "P");
    QCOMPARE(Send(e, "C").mid(3, 6), QByteArray("Erased"));
    e = BootMonitor(Dialect::E);

    ControllerModel er = BootMonitor(Dialect::Er);
    for (char letter : {'a', 'd', 'b'}) QVERIFY(Send(er, QByteArray(1, letter)).size() >= 10);
    QVERIFY(!er.ProgramPresent());
    QCOMPARE(er.MonitorCommands(), (QList<QByteArray>{"a", "d", "b"}));

    Faults f;
    f.EraseNotErased = true;
    e.SetFaults(f);
    reply = Send(e, "E");
    QVERIFY(reply.size() >= 10);
    QVERIFY(reply.mid(3, 6) != "Erased");
    f = Faults();
    f.EraseShortReply = true;
    e.SetFaults(f);
    QVERIFY(Send(e, "C").size() < 9);

    // Working on it: the echo at once, the answer after the working time.
    f = Faults();
    f.EraseWorkMs = 300;
    for (const TestDialect &d : TestDialects()) {
      ControllerModel slow = BootMonitor(d.Sim);
      slow.SetFaults(f);
      const char letter = d.Letters[1][0];  // the EEPROM's erase
      const std::vector<Output> erase = slow.Feed(letter);
      QCOMPARE(erase.size(), size_t(2));
      QCOMPARE(erase[0].Bytes, QByteArray(1, letter) + "\r\n");
      QCOMPARE(erase[0].DelayMs, 0);
      QCOMPARE(erase[1].DelayMs, 300);
      QVERIFY(!slow.ParameterSetPresent());
      if (!d.EraseAnswer.isEmpty()) QCOMPARE(Bytes(erase).mid(3, d.EraseAnswer.size()), d.EraseAnswer);
    }
  }

  void sRecords() {
    QCOMPARE(S1(0x0000, QByteArray::fromHex("0102")), QByteArray("S10500000102F7"));
    QVERIFY(ParseSRecord("S00600004844521B"));
    QVERIFY(!ParseSRecord("S00600004844521C"));

    ControllerModel m = BootMonitor(Dialect::E);
    Send(m, "EP");
    QCOMPARE(Send(m, "S00600004844521B"), QByteArray("*"));
    QCOMPARE(Send(m, S1(0x8000, "\x11\x22\x33")), QByteArray("*"));
    QCOMPARE(Send(m, "S2070100000A0B0CD6"), QByteArray("*"));
    QCOMPARE(Send(m, "S10500000102F8"), QByteArray("?"));  // bad checksum
    QCOMPARE(Send(m, "S9030000FC"), QByteArray("*"));
    const std::map<quint32, quint8> expected = {
        {0x8000, 0x11}, {0x8001, 0x22}, {0x8002, 0x33}, {0x10000, 0x0A}, {0x10001, 0x0B}, {0x10002, 0x0C}};
    QCOMPARE(m.Flash(), expected);

    // Malformed: "?" at once, the rest of the line is skipped until a CR.
    QCOMPARE(Send(m, "S1ZZE"), QByteArray("?"));
    QCOMPARE(Tag(Send(m, "C\r")), QByteArray("(E)"));
    // An incomplete record is dropped by the resynchronising CR.
    QCOMPARE(Tag(Send(m, "S1050000\r")), QByteArray("(E)"));

    Faults f;
    f.RefuseRecord = 1;
    f.LateAckRecord = 2;
    m = BootMonitor(Dialect::E);  // a fresh session: its records counted from the first
    m.SetFaults(f);
    Send(m, "P");
    QCOMPARE(Send(m, S1(0x9000, "\x01")), QByteArray("*"));
    QCOMPARE(Send(m, S1(0x9001, "\x02")), QByteArray("?"));
    std::vector<Output> late = m.Feed(S1(0x9002, "\x03"));
    QCOMPARE(late.size(), size_t(1));
    QCOMPARE(late[0].Bytes, QByteArray("*"));
    QCOMPARE(late[0].DelayMs, 550);
    QVERIFY(m.Flash().count(0x9000) && !m.Flash().count(0x9001) && m.Flash().count(0x9002));

    // "*" CR LF by name; its line end split off and late.
    f = Faults();
    QVERIFY(ParseRecordAck("star-crlf", f.RecordAck));
    QCOMPARE(RecordAckName(f.RecordAck), QByteArray("star-crlf"));
    QCOMPARE(RecordAckNames(), (QList<QByteArray>{"star", "star-crlf"}));
    QVERIFY(!ParseRecordAck("crlf", f.RecordAck));
    f.RecordAckSplit = 1;
    f.RecordAckSplitMs = 80;
    m.SetFaults(f);
    const std::vector<Output> split = m.Feed(S1(0x9003, "\x04"));
    QCOMPARE(split.size(), size_t(2));
    QCOMPARE(split[0].Bytes, QByteArray("*"));
    QCOMPARE(split[1].Bytes, QByteArray("\r\n"));
    QCOMPARE(split[1].DelayMs, 80);
  }

  void parameterMonitor() {
    ControllerModel m;
    m.SetMode(Mode::ParameterMonitor);
    const QByteArray prompt = Send(m, "\r");
    QVERIFY(prompt.size() >= 10);
    QVERIFY(Tag(prompt) != "(E)" && Tag(prompt) != " Er");
    QCOMPARE(Send(m, "U\r"), QByteArray("Q\r\n"));
    QCOMPARE(Send(m, "CFFFF\r"), QByteArray("\r"));
    QCOMPARE(m.LastCrc(), std::optional<quint32>(0xFFFF));
    QCOMPARE(Send(m, "CFFFFFFFF\r"), QByteArray("\r"));
    QCOMPARE(m.LastCrc(), std::optional<quint32>(0xFFFFFFFF));
    QCOMPARE(Send(m, "E010001\r"), QByteArray("\r"));
    QCOMPARE(Send(m, "E010102\r"), QByteArray("\r"));
    QCOMPARE(Send(m, "R0100\r"), QByteArray("01\r"));
    QCOMPARE(Send(m, "R0101\r"), QByteArray("02\r"));
    QCOMPARE(Send(m, "R0102\r"), QByteArray("FF\r"));  // never written
    QCOMPARE(Send(m, "X\r"), QByteArray("?\r\n"));
    QCOMPARE(m.ParameterMemory(), (std::map<quint16, quint8>{{0x0100, 0x01}, {0x0101, 0x02}}));
    QCOMPARE(m.MonitorCommands().mid(3, 2), (QList<QByteArray>{"CFFFFFFFF\r", "E010001\r"}));

    Faults f;
    f.ParamWriteCrLf = true;
    f.CrcReplyCrLf = true;
    f.WrongReadAddress = 0x0100;
    m.SetFaults(f);
    QCOMPARE(Send(m, "E0100AA\r"), QByteArray("\r\n"));
    QCOMPARE(Send(m, "C0\r"), QByteArray("\r\n"));
    QCOMPARE(Send(m, "R0100\r"), QByteArray("55\r"));
    f = Faults();
    f.SilentMonitor = true;
    m.SetFaults(f);
    QCOMPARE(Send(m, "U\r"), QByteArray());
  }

  void powerCycles() {
    ControllerModel m;
    m.PowerOff();
    QCOMPARE(m.CurrentMode(), Mode::Off);
    QCOMPARE(Send(m, Request("3100") + "\r"), QByteArray());
    m.PowerOn();
    QCOMPARE(m.CurrentMode(), Mode::Application);

    // The full upload: boot monitor, erase, program; without the bridge the
    // parameter monitor waits for a parameter set; with one, the application.
    m.PowerOff();
    m.SetBridge(true);
    m.PowerOn();
    QCOMPARE(m.CurrentMode(), Mode::BootMonitor);
    Send(m, "ECP");
    Send(m, S1(0xC000, "\x7E"));
    m.PowerOff();
    m.SetBridge(false);
    m.PowerOn();
    QCOMPARE(m.CurrentMode(), Mode::ParameterMonitor);
    Send(m, "E000001\r");
    m.PowerOff();
    m.PowerOn();
    QCOMPARE(m.CurrentMode(), Mode::Application);
    QCOMPARE(m.Window(310), QByteArray());  // the EEPROM erase took the windows
    QCOMPARE(Send(m, Request("3100")), DataReply(310, "000000"));
    QCOMPARE(Send(m, Request("3190")), DataReply(319, "          "));

    // Without a program the parameter monitor comes up.
    m.SetProgrammed(false);
    m.PowerOff();
    m.PowerOn();
    QCOMPARE(m.CurrentMode(), Mode::ParameterMonitor);
  }

  // The hands a bench script borrows: each command over the socket, and a
  // refusal for anything else.
  void controlChannel() {
    QTemporaryDir dir;
    const QString socket = dir.filePath("ctl");
    SimulatedController controller;
    ControlChannel channel;
    QString error;
    QVERIFY2(channel.Start(controller, socket, &error), qPrintable(error));
    QVERIFY(SendControlCommand(socket, "bridge-and-cycle", &error));
    QVERIFY(controller.Bridged());
    QCOMPARE(controller.CurrentMode(), Mode::BootMonitor);
    QVERIFY(SendControlCommand(socket, "cycle", &error));
    QCOMPARE(controller.CurrentMode(), Mode::BootMonitor);
    QVERIFY(SendControlCommand(socket, "unbridge-and-cycle", &error));
    QCOMPARE(controller.CurrentMode(), Mode::Application);
    QVERIFY(!SendControlCommand(socket, "reboot", &error));
    QVERIFY2(error.contains("unknown command"), qPrintable(error));
    channel.Stop();
    QVERIFY(!SendControlCommand(socket, "cycle", &error));
  }
};

QTEST_GUILESS_MAIN(TestSimModel)
#include "test_sim_model.moc"
