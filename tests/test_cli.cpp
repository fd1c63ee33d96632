// calvenori-upload run as a bench runs it: the real program in its own
// process, the simulated controller on a pseudo-terminal, and the actions hook
// power-cycling the controller through the simulator's control socket.
#include "ControlChannel.h"
#include "SimulatedController.h"
#include "SimLink.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "mdlSerial.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace expect;
using sim::Dialect;

namespace {

const QString UploadProgram = QStringLiteral(CALVENORI_UPLOAD_PROGRAM);
const QString SimProgram = QStringLiteral(CALVENORI_SIM_PROGRAM);

struct Outcome {
  int Status = -1;
  QString Out;
  QString Err;
};

struct Bench {
  QTemporaryDir Dir;
  sim::SimulatedController Controller;
  sim::ControlChannel Control;
  std::map<int, QByteArray> IdentificationBefore;
  QString Error;

  explicit Bench(Dialect dialect) : Controller(dialect) {
    if (!Controller.Start(&Error)) return;
    Control.Start(Controller, Dir.filePath("ctl"), &Error);
    IdentificationBefore = IdentificationOf(Controller);
  }
  QString Hands() const { return SimProgram + " ctl " + Dir.filePath("ctl"); }
  QString Write(const QString &name, const QByteArray &content) { return WriteTestFile(Dir.path(), name, content); }

  // The port and the hands are the bench's unless `args` names its own.
  Outcome Upload(QStringList args, const QByteArray &input = {}) {
    if (!args.contains("--port")) args << "--port" << Controller.SlavePath();
    if (!args.contains("--actions") && !args.contains("--no-hands")) args << "--actions" << Hands();
    args.removeAll("--no-hands");
    QProcess process;
    process.setWorkingDirectory(Dir.path());
    process.start(UploadProgram, args);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
  }
};


sim::Faults With(std::function<void(sim::Faults &)> set) {
  sim::Faults f;
  set(f);
  return f;
}

struct Case {
  Dialect Monitor = Dialect::E;
  bool Full = false;
  QStringList Args;
  QByteArray Input;
  sim::Faults Faults;
  int Status = 0;
  QString Says;  // on standard output for status 0, on standard error otherwise
  std::function<void(Bench &)> Verify;
};

void Run(const Case &c) {
  Bench bench(c.Monitor);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  QStringList args = c.Args;
  args << "--params" << bench.Write("list.txt", SmallList());
  if (c.Full) args << "--program" << bench.Write("fw.s19", ProgramFile(12));
  bench.Controller.SetFaults(c.Faults);
  const Outcome out = bench.Upload(args, c.Input);
  QVERIFY2(out.Status == c.Status, qPrintable(QStringLiteral("exit %1\n%2\n%3").arg(out.Status).arg(out.Out, out.Err)));
  QVERIFY2((c.Status == 0 ? out.Out : out.Err).contains(c.Says), qPrintable(out.Out + out.Err));
  if (c.Verify) c.Verify(bench);
}

bool Restored(Bench &b) { return IdentificationOf(b.Controller) == b.IdentificationBefore; }

}  // namespace

Q_DECLARE_METATYPE(Case)

class CliTest : public QObject {
  Q_OBJECT

 private slots:
  void completeUploads_data();
  void completeUploads() { QFETCH(Case, c); Run(c); }
  void interruptions_data();
  void interruptions() { QFETCH(Case, c); Run(c); }
  void refusals_data();
  void refusals() { QFETCH(Case, c); Run(c); }
  void traceMatchesTheWire();
  void simulatorAnswerOptions_data();
  void simulatorAnswerOptions();
  void informationOptions_data();
  void informationOptions();
};

void CliTest::completeUploads_data() {
  QTest::addColumn<Case>("c");
  // The (E) monitor's EEPROM erase wipes the identification: keep brings it back.
  QTest::newRow("full, (E), Check Errors, keep")
      << Case{Dialect::E, true, {"--restore", "keep"}, {}, {}, 0, FullSuccess, [](Bench &b) {
                QVERIFY(Restored(b));
                QVERIFY(b.Controller.Locked());
                QCOMPARE(b.Controller.LastCrc(), std::optional<quint32>(65535));
                QVERIFY(b.Controller.Flash() == FlashImageOf(ProgramFile(12)));
              }};
  QTest::newRow("full, Er, no Check Errors, skip")
      << Case{Dialect::Er, true, {"--no-check-errors", "--restore", "skip"}, {}, {}, 0, FullSuccess, [](Bench &b) {
                QCOMPARE(WrittenWindows(b.Controller), QList<int>{501});
                QVERIFY(b.Controller.Flash() == FlashImageOf(ProgramFile(12)));
              }};
  QTest::newRow("parameter list, ask, one change")
      << Case{Dialect::E, false, {"--restore", "ask"}, "322=CS-1\n\n", {}, 0, ParameterSuccess, [](Bench &b) {
                auto expected = b.IdentificationBefore;
                expected[322] = "CS-1";
                QVERIFY(IdentificationOf(b.Controller) == expected);
                QCOMPARE(WrittenWindows(b.Controller).size(), 11);  // 500, the nine, 501
              }};
  QTest::newRow("parameter list, ask, skip")
      << Case{Dialect::E, false, {"--restore", "ask"}, "skip\n", {}, 0, ParameterSuccess, [](Bench &b) {
                QCOMPARE(WrittenWindows(b.Controller), (QList<int>{500, 501}));
              }};
  QTest::newRow("parameter list, read-back wrong, no Check Errors")
      << Case{Dialect::E, false, {"--no-check-errors"}, {}, With([](sim::Faults &f) { f.WrongReadAddress = 0x0401; }),
              0, "failure(s) were ignored because Check Errors is off", [](Bench &b) {
                QVERIFY(b.Controller.Locked());
              }};
}

void CliTest::interruptions_data() {
  QTest::addColumn<Case>("c");
  QTest::newRow("read-back wrong, Check Errors")
      << Case{Dialect::E, false, {}, {}, With([](sim::Faults &f) { f.WrongReadAddress = 0x0401; }), 4,
              "Error during file parameters writing.", [](Bench &b) { QVERIFY(!b.Controller.Locked()); }};
  QTest::newRow("action fails")
      << Case{Dialect::E, true, {"--actions", "false"}, {}, {}, 4,
              "The action \"bridge-and-cycle\" failed (exit status 1).",
              [](Bench &b) { QCOMPARE(MonitorCommandCount(b.Controller, "E", 1), 0); }};
  QTest::newRow("no hands, the input ends at a prompt")
      << Case{Dialect::E, false, {"--no-hands"}, "\n", {}, 4, "No answer to the prompt",
              [](Bench &b) { QVERIFY(!b.Controller.Locked()); }};
  // Every write refused: three write-backs of three attempts each, no lock.
  QTest::newRow("keep refused three times")
      << Case{Dialect::E, true, {"--restore", "keep"}, {}, With([](sim::Faults &f) { f.RejectAllWrites = true; }), 4,
              "The identification windows were refused three times.", [](Bench &b) {
                QCOMPARE(WrittenWindows(b.Controller).count(310), 9);
                QCOMPARE(WrittenWindows(b.Controller).count(501), 0);
              }};
  QTest::newRow("connection lost")
      << Case{Dialect::E, false, {}, {}, With([](sim::Faults &f) { f.HangUpAfterBytesReceived = 150; }), 5,
              "was lost", {}};
}

void CliTest::refusals_data() {
  QTest::addColumn<Case>("c");
  const auto nothingSent = [](Bench &b) { QCOMPARE(b.Controller.Received(), QByteArray()); };
  QTest::newRow("unfit program file")
      << Case{Dialect::E, false, {"--program", "/nonexistent/fw.s19"}, {}, {}, 2, "fw.s19", nothingSent};
  QTest::newRow("unknown option") << Case{Dialect::E, false, {"--baud", "19200"}, {}, {}, 2, "--baud", nothingSent};
  QTest::newRow("bad --restore") << Case{Dialect::E, false, {"--restore", "maybe"}, {}, {}, 2, "maybe", nothingSent};
  QTest::newRow("port that cannot be opened")
      << Case{Dialect::E, false, {"--port", "/nonexistent/ttyS9"}, {}, {}, 3, "could not be opened", nothingSent};
}

// Every byte the port wrote and every byte it received, read or discarded,
// is in the trace, in order, and nothing else.
void CliTest::traceMatchesTheWire() {
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString trace = bench.Dir.filePath("wire.trace");
  const Outcome out = bench.Upload({"--params", bench.Write("list.txt", SmallList()), "--program",
                                    bench.Write("fw.s19", ProgramFile(12)), "--trace", trace});
  QVERIFY2(out.Status == 0, qPrintable(out.Err));
  QFile file(trace);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QByteArray written, received;
  QMap<QByteArray, int> kinds;
  for (const QByteArray &line : file.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (line.isEmpty() || line.startsWith('#')) continue;
    kinds[fields.value(1)]++;
    const QByteArray hex = line.mid(13, line.indexOf("  |") - 13);
    if (fields.value(1) == "W") written += QByteArray::fromHex(hex);
    if (fields.value(1) == "R" || fields.value(1) == "D") received += QByteArray::fromHex(hex);
  }
  QCOMPARE(Hex(written), Hex(bench.Controller.Received()));
  QCOMPARE(Hex(received), Hex(bench.Controller.Sent()));
  for (const char *kind : {"STEP", "MSG", "ANS"}) QVERIFY2(kinds.value(kind) > 0, kind);
}

// The simulator program answers in the forms its options name, and refuses
// names it does not know.
void CliTest::simulatorAnswerOptions_data() {
  QTest::addColumn<QStringList>("options");
  QTest::addColumn<QByteArray>("command");
  QTest::addColumn<QByteArray>("answer");
  QTest::newRow("--read-back echo-same-line") << QStringList{"--mode", "param", "--read-back", "echo-same-line"}
                                              << QByteArray("R0105\r") << QByteArray("R0105 FF\r\n");
  QTest::newRow("--record-ack star-crlf") << QStringList{"--mode", "boot", "--record-ack", "star-crlf"}
                                         << QByteArray("S9030000FC") << QByteArray("*\r\n");
  QTest::newRow("--erase-ms 300") << QStringList{"--mode", "boot", "--erase-ms", "300"} << QByteArray("C")
                                  << QByteArray("C\r\nErased\r\n");
}
void CliTest::simulatorAnswerOptions() {
  QFETCH(QStringList, options);
  QFETCH(QByteArray, command);
  QFETCH(QByteArray, answer);
  QProcess simulator;
  simulator.start(SimProgram, options);
  QVERIFY(simulator.waitForReadyRead(-1));
  const QString device = QString::fromLocal8Bit(simulator.readLine()).trimmed();
  SerialPort port;
  port.SetDevice(device);
  QVERIFY2(port.Open(), qPrintable(device + ": " + port.ErrorString()));
  QCOMPARE(MonitorExchangeCount(port, command, qint16(answer.size())), answer);
  port.Close();
  simulator.terminate();
  QVERIFY(simulator.waitForFinished(-1));

  for (const QStringList &wrong : {QStringList{"--read-back", "upper"}, QStringList{"--record-ack", "crlf"},
                                   QStringList{"--erase-ms", "-1"}}) {
    QProcess refused;
    refused.start(SimProgram, wrong);
    QVERIFY(refused.waitForFinished(-1));
    QCOMPARE(refused.exitCode(), 2);
  }
}

void CliTest::informationOptions_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("option");
  QTest::addColumn<QString>("says");
  const QString window = QStringLiteral(CALVENORI_WINDOW_PROGRAM);
  QTest::newRow("upload --version") << UploadProgram << "--version" << "calvenori-upload 1.5.0\n";
  QTest::newRow("upload --help") << UploadProgram << "--help" << "default";
  QTest::newRow("window --version") << window << "--version" << "calvenori-uploader 1.5.0\n";
  QTest::newRow("window --help") << window << "--help" << "--trace FILE";
  QTest::newRow("sim --help names ctl") << SimProgram << "--help" << "calvenori-sim ctl SOCKET cycle|bridge-and-cycle";
  QTest::newRow("sim --help names the forms") << SimProgram << "--help" << "echo-same-line (R0105 2C CR LF)";
}

// These run where there is no display (man page generation): exit 0 at once.
void CliTest::informationOptions() {
  QFETCH(QString, program);
  QFETCH(QString, option);
  QFETCH(QString, says);
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  process.setProcessEnvironment(env);
  process.start(program, {option});
  QVERIFY(process.waitForFinished(-1));
  QCOMPARE(process.exitCode(), 0);
  const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
  QVERIFY2(option == "--version" ? out == says : out.contains(says), qPrintable(out));
}

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
