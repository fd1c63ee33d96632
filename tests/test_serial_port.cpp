// The port object: line settings, which device a port number means, and what
// it reports when a device is missing, held, or goes away while open.
#include "ControllerLine.h"
#include "LowLatency.h"
#include "SerialPort.h"
#include "SimLink.h"
#include "Exchanges.h"
#include "WindowProtocol.h"

#include <QTimer>
#include <QtTest>

#include <linux/serial.h>

class SerialPortTest : public QObject {
  Q_OBJECT

 private slots:
  void settingsTextIsParsedOrRefused() {
    LineSettings s;
    QVERIFY(ParseLineSettings("9600,N,8,1", s));
    QCOMPARE(s.Baud, 9600);
    QCOMPARE(s.Parity, QSerialPort::NoParity);
    QCOMPARE(s.DataBits, QSerialPort::Data8);
    QCOMPARE(s.StopBits, QSerialPort::OneStop);
    QVERIFY(ParseLineSettings("19200,e,7,2", s));
    QCOMPARE(s.Parity, QSerialPort::EvenParity);
    QCOMPARE(s.StopBits, QSerialPort::TwoStop);
    for (const char *bad : {"", "9600", "9600,N,8", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "fast,N,8,1",
                            "-9600,N,8,1", "9600,N,8,1,1"}) {
      LineSettings untouched = s;
      QVERIFY2(!ParseLineSettings(bad, untouched), bad);
      QCOMPARE(untouched.Baud, s.Baud);
    }
    SerialPort port;
    QVERIFY(port.SetSettings("9600,N,8,1"));
    QVERIFY(!port.SetSettings("9600;N;8;1"));
    QCOMPARE(port.Settings(), QString("9600,N,8,1"));
  }

  void portNumbersComeFromTheListGiven() {
    qputenv("CALVENORI_PORTS", "/dev/pts/7, /dev/ttyUSB0,/dev/ttyS3");
    QCOMPARE(PortDeviceName(1), QString("/dev/pts/7"));
    QCOMPARE(PortDeviceName(2), QString("/dev/ttyUSB0"));
    QCOMPARE(PortDeviceName(3), QString("/dev/ttyS3"));
    QCOMPARE(PortDeviceName(4), QString());
    QCOMPARE(PortDeviceName(0), QString());
  }

  void openFailuresCarryTheSystemsReason() {
    qputenv("CALVENORI_PORTS", "/nonexistent/ttyX");
    SerialPort port;
    port.SetSettings(ControllerLineSettings);
    port.SetPortNumber(1);
    QVERIFY(!port.Open());
    QVERIFY(!port.IsOpen());
    QVERIFY(!port.ErrorString().isEmpty());
    port.SetPortNumber(2);
    QVERIFY(!port.Open());
    QVERIFY2(port.ErrorString().contains("port 2"), qPrintable(port.ErrorString()));
  }

  void aHeldPortCannotBeOpenedTwice() {
    SimLink link;
    QVERIFY2(link.Start(), qPrintable(link.Error));
    SerialPort second;
    second.SetSettings(ControllerLineSettings);
    second.SetPortNumber(1);
    QVERIFY(!second.Open());
    QVERIFY(!second.ErrorString().isEmpty());
  }

  void lowLatencyIsGivenBackAndARefusalIsHarmless() {
    // Only the low-latency bit goes back; what the driver changed since stays.
    const int other = ASYNC_SPD_HI;
    QCOMPARE(RestoredSerialFlags(0, ASYNC_LOW_LATENCY), 0);
    QCOMPARE(RestoredSerialFlags(other, ASYNC_LOW_LATENCY), 0);
    QCOMPARE(RestoredSerialFlags(0, ASYNC_LOW_LATENCY | other), other);
    QCOMPARE(RestoredSerialFlags(ASYNC_LOW_LATENCY, ASYNC_LOW_LATENCY), int(ASYNC_LOW_LATENCY));
    QCOMPARE(RestoredSerialFlags(ASYNC_LOW_LATENCY, 0), int(ASYNC_LOW_LATENCY));

    // A pseudo-terminal has no such flags: the port opens and talks as ever.
    SimLink link;
    QVERIFY2(link.Start(), qPrintable(link.Error));
    QVERIFY(!link.Port.LowLatencyRequested());
    QVERIFY(link.Port.ErrorString().isEmpty());
    QCOMPARE(ReadWindow(link.Port, 310).Kind, ReplyKind::Data);
    link.Port.Close();
    QVERIFY(link.Port.Open());
    QCOMPARE(ReadWindow(link.Port, 310).Kind, ReplyKind::Data);
  }

  void aVanishedLineIsRecordedAndEndsWaitsAtOnce() {
    SimLink link;
    QVERIFY2(link.Start(), qPrintable(link.Error));
    QCOMPARE(ReadWindow(link.Port, 310).Kind, ReplyKind::Data);
    QVERIFY(!link.Port.Lost());
    link.Controller->HangUp();
    // The first wait notices the hang-up; from then on nothing waits.
    ReadWindow(link.Port, 310);
    QTRY_VERIFY(link.Port.Lost());
    // Every wait yields to the event loop: a timer due at once would fire.
    bool waited = false;
    QTimer::singleShot(0, [&] { waited = true; });
    QCOMPARE(MonitorExchange(link.Port, "\r"), QByteArray());
    QCOMPARE(ReadWindow(link.Port, 310).Text, QByteArray("#TIMEOUT#"));
    QVERIFY(!waited);
  }
};

QTEST_GUILESS_MAIN(SerialPortTest)
#include "test_serial_port.moc"
