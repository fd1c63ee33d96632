// The simulated controller's line as the tool meets it through a real
// QSerialPort: noise in both directions, the monitor's blind spots it leads
// to, and an unplug that comes back behind the same link.

#include "ControlChannel.h"
#include "SimulatedController.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>

#include <algorithm>
#include <functional>

using namespace sim;

namespace {

using Events = QList<NoiseEvent>;

// An S1 record with a correct checksum.
QByteArray S1(quint16 address, const QByteArray &data) {
  QByteArray body;
  body.append(char(data.size() + 3)).append(char(address >> 8)).append(char(address & 0xFF)).append(data);
  quint8 sum = 0;
  for (char b : body) sum += quint8(b);
  body.append(char(~sum));
  return "S1" + body.toHex().toUpper();
}

const QByteArray Data = QByteArray::fromHex("0102030405060708090A0B0C0D0E0F10");
const QByteArray Record = S1(0xC000, Data);

bool HungUp(QSerialPort &port) {
  pollfd line{int(port.handle()), POLLIN, 0};
  return ::poll(&line, 1, 0) == 1 && (line.revents & POLLHUP);
}

bool IsHexDigit(quint8 c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The first seed that brings `sent` on its way to the controller only the
// one event `wanted`, and the controller's first `answerBytes` none.
quint32 SeedFor(const QByteArray &sent, double rate, int answerBytes, const std::function<bool(const NoiseEvent &)> &wanted) {
  for (quint32 seed = 1; seed < 1'000'000; ++seed) {
    NoiseStream to({rate, seed}, NoiseEvent::ToController);
    Events events;
    for (int i = 0; i < sent.size() && events.size() < 2; ++i)
      if (std::optional<NoiseEvent> e = to.Draw(quint8(sent[i]))) events << NoiseEvent{e->Dir, e->What, i, e->Before, e->After};
    if (events.size() != 1 || !wanted(events[0])) continue;
    NoiseStream back({rate, seed}, NoiseEvent::ToTool);
    bool clean = true;
    for (int i = 0; i < answerBytes; ++i) clean = clean && !back.Draw('*');
    if (clean) return seed;
  }
  return 0;
}

// `bytes` with the events of one direction applied, as the other end gets them.
QByteArray Through(const QByteArray &bytes, const Events &events, NoiseEvent::Direction dir) {
  QByteArray out;
  auto it = events.begin();
  for (qint64 i = 0; i < bytes.size(); ++i) {
    while (it != events.end() && (it->Dir != dir || it->Index < i)) ++it;
    if (it != events.end() && it->Index == i) {
      if (it->Before != quint8(bytes[int(i)])) return "event names the wrong byte";
      if (it->What == NoiseEvent::Flipped) out += char(it->After);
      continue;
    }
    out += bytes[int(i)];
  }
  return out;
}

// A port opened on `path` the way the tool opens the controller's.
bool OpenPort(QSerialPort &port, const QString &path) {
  port.setPortName(path);
  return port.open(QIODevice::ReadWrite) && port.setBaudRate(9600);
}

QByteArray ReadAtLeast(QSerialPort &port, qsizetype count) {
  QByteArray got = port.readAll();
  while (got.size() < count && port.waitForReadyRead(5000)) got += port.readAll();
  return got;
}

qsizetype Lost(const Events &events, NoiseEvent::Direction dir) {
  return std::count_if(events.begin(), events.end(),
                       [dir](const NoiseEvent &e) { return e.Dir == dir && e.What == NoiseEvent::Lost; });
}

struct Rig {
  QTemporaryDir Dir;
  SimulatedController Controller;
  QSerialPort Port;
  QString Link = Dir.filePath("pump");

  bool Start(Mode mode) {
    if (mode == Mode::BootMonitor) Controller.SetBridge(true);
    Controller.SetMode(mode);
    return Controller.Start() && Controller.SetLink(Link) && OpenPort(Port, Link);
  }
  void Write(const QByteArray &bytes) {
    Port.write(bytes);
    Port.waitForBytesWritten(5000);
  }
  // Every one of `count` bytes has been heard by the controller or lost.
  bool Heard(qsizetype count) const {
    const qsizetype heard = Controller.Received().size();
    return heard + Lost(Controller.NoiseEvents(), NoiseEvent::ToController) == count;
  }
  // Lone CRs to the boot monitor, each that arrives whole answered with its
  // 12-byte prompt; returns once every answer is on the line.
  bool Prompts(const QByteArray &crs) {
    Write(crs);
    if (!QTest::qWaitFor([&] { return Heard(crs.size()); })) return false;
    const qsizetype prompts = Controller.Received().count('\r');
    return QTest::qWaitFor([&] { return Controller.Sent().size() == prompts * 12; });
  }
};

}  // namespace

class TestSimLine : public QObject {
  Q_OBJECT

 private slots:
  // Both directions carry many bytes (a garbled CR is no command letter),
  // and the events must account for what each end got; the odds themselves
  // are test_sim_model's.
  void noiseInBothDirections_data() {
    QTest::addColumn<double>("rate");
    QTest::newRow("clean line: byte for byte") << 0.0;
    QTest::newRow("1 in 100") << 0.01;
    QTest::newRow("1 in 10") << 0.1;
  }

  void noiseInBothDirections() {
    QFETCH(double, rate);
    Rig rig;
    QVERIFY(rig.Start(Mode::BootMonitor));
    rig.Controller.SetNoise({rate, 7});
    const QByteArray sent(2000, '\r');
    QVERIFY(rig.Prompts(sent));
    const QByteArray arrived = ReadAtLeast(rig.Port, rig.Controller.Delivered().size());
    const Events events = rig.Controller.NoiseEvents();

    QCOMPARE(Through(sent, events, NoiseEvent::ToController), rig.Controller.Received());
    QCOMPARE(Through(rig.Controller.Sent(), events, NoiseEvent::ToTool), rig.Controller.Delivered());
    QCOMPARE(arrived, rig.Controller.Delivered());
    QCOMPARE(events.isEmpty(), rate == 0);
  }

  // The same seed and bytes meet the same events; another seed others.
  void theSeedDecides() {
    Events runs[3];
    const quint32 seeds[3] = {3, 3, 4};
    for (int i = 0; i < 3; ++i) {
      Rig rig;
      QVERIFY(rig.Start(Mode::BootMonitor));
      rig.Controller.SetNoise({0.05, seeds[i]});
      QVERIFY(rig.Prompts(QByteArray(500, '\r')));
      runs[i] = rig.Controller.NoiseEvents();
    }
    QVERIFY(runs[0].size() > 100);
    QCOMPARE(runs[1], runs[0]);
    QVERIFY(runs[2] != runs[0]);
  }

  // The checksum leaves out the type digit: a record whose type digit noise
  // changed is acknowledged, and counted apart; one whose data noise changed
  // is refused and not counted. A lost 'S' leaves the record's digits to be
  // read as commands.
  void blindSpots_data() {
    QTest::addColumn<int>("index");  // of the one byte noise strikes
    QTest::addColumn<int>("what");
    QTest::addColumn<QByteArray>("becomes");  // what it may turn into; empty: anything hex
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("hits");
    QTest::addColumn<int>("stray");
    QTest::addColumn<qint64>("writtenAt");  // -1: nothing written
    const int flipped = NoiseEvent::Flipped;
    QTest::newRow("S1 into S0: acknowledged, nothing written") << 1 << flipped << QByteArray("0") << QByteArray("*") << 1 << 0 << qint64(-1);
    QTest::newRow("S1 into S5: acknowledged, nothing written") << 1 << flipped << QByteArray("5") << QByteArray("*") << 1 << 0 << qint64(-1);
    QTest::newRow("S1 into S9: acknowledged, nothing written") << 1 << flipped << QByteArray("9") << QByteArray("*") << 1 << 0 << qint64(-1);
    // Address C0 00 01 02, the data from the third byte on.
    QTest::newRow("S1 into S3: written at another address") << 1 << flipped << QByteArray("3") << QByteArray("*") << 1 << 0 << qint64(0xC0000102);
    QTest::newRow("a data digit garbled: refused") << 12 << flipped << QByteArray() << QByteArray("?") << 0 << 0 << qint64(-1);
    const int strays = int(std::count_if(Record.begin() + 1, Record.end(), [](char c) { return c == 'C' || c == 'E' || c == 'P'; }));
    QTest::newRow("its S lost: the digits taken for commands") << 0 << int(NoiseEvent::Lost) << QByteArray() << QByteArray() << 0 << strays << qint64(-1);
  }

  void blindSpots() {
    QFETCH(int, index);
    QFETCH(int, what);
    QFETCH(QByteArray, becomes);
    QFETCH(QByteArray, answer);
    QFETCH(int, hits);
    QFETCH(int, stray);
    QFETCH(qint64, writtenAt);
    constexpr double Rate = 1.0 / 16;
    const quint32 seed = SeedFor(Record, Rate, answer.size(), [&](const NoiseEvent &e) {
      return e.Index == index && e.What == what && (becomes.isEmpty() ? (what == NoiseEvent::Lost || IsHexDigit(e.After)) : becomes.contains(char(e.After)));
    });
    QVERIFY(seed);
    Rig rig;
    QVERIFY(rig.Start(Mode::BootMonitor));
    rig.Write("E");  // an empty flash
    QCOMPARE(ReadAtLeast(rig.Port, 11).mid(3, 6), QByteArray("Erased"));
    rig.Controller.ClearReceived();
    rig.Controller.SetNoise({Rate, seed});
    rig.Write(Record);

    if (!answer.isEmpty()) QCOMPARE(ReadAtLeast(rig.Port, 1), answer);
    QTRY_COMPARE(rig.Controller.StrayCommands(), stray);
    QCOMPARE(rig.Controller.BlindSpotHits(), hits);
    const Events events = rig.Controller.NoiseEvents();
    QCOMPARE(std::count_if(events.begin(), events.end(), [](const NoiseEvent &e) { return e.Dir == NoiseEvent::ToController; }), 1);
    std::map<quint32, quint8> written;
    for (int i = 2; writtenAt >= 0 && i < Data.size(); ++i) written[quint32(writtenAt) + quint32(i - 2)] = quint8(Data[i]);
    QCOMPARE(rig.Controller.Flash(), written);
  }

  // The adapter pulled out and plugged in again: the port on the link sees
  // the line go; the link then names a new pty with the same controller
  // behind it, its memory and even its half-read command as they were.
  void unplugComesBack_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("before");  // sent before the cut
    QTest::addColumn<QByteArray>("after");   // sent once it is back, to end a read-back
    QTest::newRow("Unplug()") << "now" << QByteArray() << QByteArray("R0100\r");
    QTest::newRow("after the bytes of a half command") << "bytes" << QByteArray("R01") << QByteArray("00\r");
    QTest::newRow("the control channel's unplug 300") << "ctl" << QByteArray() << QByteArray("R0100\r");
  }

  void unplugComesBack() {
    QFETCH(QString, how);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    Rig rig;
    QVERIFY(rig.Start(Mode::ParameterMonitor));
    rig.Write("E010042\r");
    QCOMPARE(ReadAtLeast(rig.Port, 1), QByteArray("\r"));
    QSerialPort::SerialPortError seen = QSerialPort::NoError;
    connect(&rig.Port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError e) {
      if (e != QSerialPort::NoError) seen = e;
    });

    ControlChannel channel;
    QString error;
    if (how == "now") {
      QVERIFY(rig.Controller.Unplug(300, &error));
    } else if (how == "bytes") {
      QVERIFY(rig.Controller.UnplugAfterBytesReceived(before.size(), 300, &error));
      rig.Write(before);
    } else {
      const QString socket = rig.Dir.filePath("ctl");
      QVERIFY2(channel.Start(rig.Controller, socket, &error), qPrintable(error));
      QVERIFY2(SendControlCommand(socket, "unplug 300", &error), qPrintable(error));
    }
    QTRY_COMPARE(seen, QSerialPort::ReadError);  // what a pty's hang-up is to Qt
    QVERIFY(HungUp(rig.Port));
    QCOMPARE(rig.Controller.Unplugs(), 1);
    rig.Port.close();

    QTRY_VERIFY(rig.Controller.Plugged());
    QVERIFY(rig.Controller.Running());
    QCOMPARE(QFileInfo(rig.Link).symLinkTarget(), rig.Controller.SlavePath());
    QVERIFY(OpenPort(rig.Port, rig.Link));
    rig.Write(after);
    QCOMPARE(ReadAtLeast(rig.Port, 3), QByteArray("42\r"));
    QCOMPARE(rig.Controller.CurrentMode(), Mode::ParameterMonitor);
    QCOMPARE(rig.Controller.Received(), "E010042\r" + before + after);
  }

  // Only a hand pulls a serial port's adapter; a line that is down has
  // nothing to pull.
  void unplugRefused() {
    SimulatedController device;
    device.SetDevice(QStringLiteral("COM5"));
    QString error;
    QVERIFY(!device.Unplug(100, &error));
    QVERIFY2(error.contains("serial port COM5"), qPrintable(error));
    QVERIFY(!device.UnplugAfterBytesReceived(10, 100, &error));
    QVERIFY(!RunControlCommand(device, "unplug 100", &error));
    QVERIFY2(error.contains("serial port COM5"), qPrintable(error));

    SimulatedController pty;
    QVERIFY(!pty.Unplug(100, &error));  // never started
    QVERIFY2(error.contains("down"), qPrintable(error));
    QVERIFY(pty.Start());
    pty.HangUp();
    QVERIFY(!pty.Unplug(100, &error));
    QVERIFY(!RunControlCommand(pty, "unplug soon", &error));
    QVERIFY2(error.contains("milliseconds"), qPrintable(error));
    QCOMPARE(pty.Unplugs(), 0);
  }
};

QTEST_GUILESS_MAIN(TestSimLine)
#include "test_sim_line.moc"
