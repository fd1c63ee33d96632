// calvenori-upload's command line: what each option sets, what is refused,
// and how --port names a port. No port needed, so these run on Windows too.
#include "CliOptions.h"

#include <QtTest>

class CliOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void optionsAreTaken() {
    CliOptions o;
    QString error;
    QVERIFY2(ParseCliOptions({"--params=C:\\Service Files\\Pümpe 1.txt", "--program", "fw.s19", "--no-check-errors",
                              "--restore", "skip", "--trace", "w.trace", "--port", "COM12", "--actions", "hands.cmd"},
                             o, &error),
             qPrintable(error));
    QCOMPARE(o.ParameterFile, QString("C:\\Service Files\\Pümpe 1.txt"));
    QCOMPARE(o.ProgramFile, QString("fw.s19"));
    QVERIFY(!o.CheckErrors);
    QCOMPARE(o.Restore, RestoreMode::Skip);
    QVERIFY(o.RestoreGiven);
    QCOMPARE(o.TraceFile, QString("w.trace"));
    QCOMPARE(o.Port, QString("COM12"));
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
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    QTest::newRow("7") << "7" << 7 << "";
    QTest::newRow("COM7") << "COM7" << 7 << "";
    QTest::newRow("com12") << "com12" << 12 << "";
    QTest::newRow("COM0 is a name") << "COM0" << 1 << "COM0";
    QTest::newRow("device") << "/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
    QTest::newRow("too large") << "40000" << 1 << "40000";
  }
  void portsAreNumbersOrDevices() {
    QFETCH(QString, port);
    QFETCH(int, number);
    QFETCH(QString, device);
    QString named;
    QCOMPARE(int(PortNumberFor(port, named)), number);
    QCOMPARE(named, device);
  }
};

QTEST_GUILESS_MAIN(CliOptionsTest)
#include "test_cli_options.moc"
