// calvenori-upload's command line: what each option sets, what is refused,
// and how --port names a port (COMn on Windows, a device path elsewhere). No
// port needed, so these run on Windows too.
#include "CliOptions.h"
#include "PortChoice.h"
#include "SerialPort.h"

#include <QtTest>

#ifdef Q_OS_WIN
const char *const PortText = "COM12";
#else
const char *const PortText = "/dev/COM12";
#endif

class CliOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void optionsAreTaken() {
    CliOptions o;
    QString error;
    QVERIFY2(ParseCliOptions({"--params=C:\\Service Files\\Pümpe 1.txt", "--program", "fw.s19", "--no-check-errors",
                              "--restore", "skip", "--trace", "w.trace", "--port", PortText, "--actions", "hands.cmd"},
                             o, &error),
             qPrintable(error));
    QCOMPARE(o.ParameterFile, QString("C:\\Service Files\\Pümpe 1.txt"));
    QCOMPARE(o.ProgramFile, QString("fw.s19"));
    QVERIFY(!o.CheckErrors);
    QCOMPARE(o.Restore, RestoreMode::Skip);
    QVERIFY(o.RestoreGiven);
    QCOMPARE(o.TraceFile, QString("w.trace"));
#ifdef Q_OS_WIN
    QCOMPARE(int(o.Port.Number), 12);
#else
    QCOMPARE(o.Port.Device, QString("/dev/COM12"));
#endif
    QCOMPARE(o.Actions, QString("hands.cmd"));
  }

  void badLinesAreRefused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("no list") << QStringList{"--port", "3"} << "--params FILE is required";
    QTest::newRow("unknown") << QStringList{"--params", "l.txt", "--baud", "19200"} << "'--baud'";
    QTest::newRow("value missing") << QStringList{"--params"} << "'--params' needs a value";
    QTest::newRow("empty value") << QStringList{"--params", "l.txt", "--trace="} << "'--trace' needs a value";
    QTest::newRow("restore") << QStringList{"--params", "l.txt", "--restore", "maybe"} << "'maybe'";
    QTest::newRow("verify without a list") << QStringList{"--verify", "--port", "auto"} << "--params FILE is required";
    QTest::newRow("verify with a program") << QStringList{"--verify", "--params", "l.txt", "--program", "f.s19"}
                                           << "takes no --program";
    QTest::newRow("identify and verify") << QStringList{"--identify", "--verify", "--params", "l.txt"}
                                         << "takes no --verify";
  }

  // Identify needs no list; auto is a port of its own kind.
  void lookingIsTaken() {
    CliOptions o;
    QString error;
    QVERIFY2(ParseCliOptions({"--identify", "--port", "auto"}, o, &error), qPrintable(error));
    QVERIFY(o.Identify && !o.Verify && o.Port.Auto && o.Port.Device.isEmpty());
    CliOptions v;
    QVERIFY2(ParseCliOptions({"--verify", "--params", "l.txt", "--port", "3"}, v, &error), qPrintable(error));
    QVERIFY(v.Verify && !v.Identify && !v.Port.Auto);
    QVERIFY(CliHelpText().contains("  7  --verify: the parameter memory differs from the list"));
  }
  void badLinesAreRefused() {
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    CliOptions o;
    QString error;
    QVERIFY(!ParseCliOptions(args, o, &error));
    QVERIFY2(error.contains(says), qPrintable(error));
  }

  void portsAreNumbersOrDevices_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("number");  // 0: refused
    QTest::addColumn<QString>("device");
    QTest::newRow("7") << "7" << 7 << "";
    QTest::newRow("255") << "255" << 255 << "";
    QTest::newRow("0") << "0" << 0 << "";
    QTest::newRow("256") << "256" << 0 << "";
#ifdef Q_OS_WIN
    QTest::newRow("COM7") << "COM7" << 7 << "";
    QTest::newRow("com12") << "com12" << 12 << "";
    QTest::newRow("COM0") << "COM0" << 0 << "";
    QTest::newRow("a path is no port here") << "/dev/ttyUSB0" << 0 << "";
#else
    QTest::newRow("device") << "/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
    QTest::newRow("COM7 is no port here") << "COM7" << 0 << "";
#endif
  }
  void portsAreNumbersOrDevices() {
    QFETCH(QString, port);
    QFETCH(int, number);
    QFETCH(QString, device);
    PortChoice choice;
    QString error;
    QCOMPARE(ParsePortChoice(port, choice, &error), number != 0);
    if (number == 0) {
      QVERIFY2(error.startsWith("--port"), qPrintable(error));
      return;
    }
    QCOMPARE(int(choice.Number), number);
    QCOMPARE(choice.Device, device);
  }

  // One tip per reason the system gave, and none where it gave another.
  void portFailuresGiveTheTipThatFitsTheReason_data() {
    QTest::addColumn<int>("fault");  // OpenFault
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("tip");  // empty: the system's reason stands alone
    QTest::newRow("not there") << int(OpenFault::Missing) << "the device is not connected"
                               << "Plug the adapter in again, or give --port one of the ports known here.";
    QTest::newRow("held") << int(OpenFault::Held) << "Access is denied"
                          << "Another program holds the port: close it there, or give --port another port.";
    QTest::newRow("denied") << int(OpenFault::Denied) << "Permission denied"
                            << "This user may not open it: add the user to the \"dialout\" group "
                               "(sudo adduser $USER dialout), then log out and in again.";
    QTest::newRow("another reason") << int(OpenFault::Other) << "The semaphore timeout period has expired" << "";
  }
  void portFailuresGiveTheTipThatFitsTheReason() {
    QFETCH(int, fault);
    QFETCH(QString, reason);
    QFETCH(QString, tip);
    const QStringList lines = PortChoiceFailure({2, {}}, PortText, reason, OpenFault(fault)).split('\r');
    QCOMPARE(lines.value(0), QStringLiteral("Serial port 2 (%1) could not be opened: %2.").arg(PortText, reason));
    QCOMPARE(lines.value(1), QStringLiteral("The upload has not been started."));
    QCOMPARE(lines.value(2), tip);
    // Only a port that is not there has the ports known here listed after the tip.
    QCOMPARE(lines.size() > 3, OpenFault(fault) == OpenFault::Missing);
  }
};

QTEST_GUILESS_MAIN(CliOptionsTest)
#include "test_cli_options.moc"
