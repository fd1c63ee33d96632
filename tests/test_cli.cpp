// calvenori-upload run as a bench runs it: the real program in its own
// process, the simulated controller on a pseudo-terminal, and the actions hook
// power-cycling the controller through the simulator's control socket.
#include "ProgramTransfer.h"
#include "ControlChannel.h"
#include "ProgramTexts.h"
#include "Journal.h"
#include "NullModemPair.h"
#include "SimulatedController.h"
#include "SimLink.h"
#include "SmallDisk.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "UploadTexts.h"
#include "Exchanges.h"
#include "IdWindows.h"

#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

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
  QString WorkDir = Dir.path();  // where the program runs and keeps its backup

  explicit Bench(Dialect dialect, bool paced = false) : Controller(dialect) {
    Controller.SetPaced(paced);
    if (!Controller.Start(&Error)) return;
    Control.Start(Controller, Dir.filePath("ctl"), &Error);
    IdentificationBefore = IdentificationOf(Controller);
  }
  QString Hands() const { return SimProgram + " ctl " + Dir.filePath("ctl"); }
  QString Write(const QString &name, const QByteArray &content) { return WriteTestFile(Dir.path(), name, content); }
  bool BackupFileHolds(const QByteArray &text) const {
    QFile file(QDir(WorkDir).filePath("tmpLogWin.txt"));
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
  }
  // Hands that run `script` (sh) with the action as $1 and $HANDS as the
  // simulator's own hands.
  QString ScriptedHands(const QByteArray &script) {
    return "sh " + Write("hands.sh", "HANDS='" + Hands().toLocal8Bit() + "'\n" + script);
  }

  // The port and the hands are the bench's unless `args` names its own.
  Outcome Upload(QStringList args, const QByteArray &input = {}, const QStringList &env = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &setting : env) environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    process.setProcessEnvironment(environment);
    Start(process, args);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
  }

  void Start(QProcess &process, QStringList args) {
    if (!args.contains("--port")) args << "--port" << Controller.SlavePath();
    if (!args.contains("--actions") && !args.contains("--no-hands")) args << "--actions" << Hands();
    args.removeAll("--no-hands");
    process.setWorkingDirectory(WorkDir);
    process.start(UploadProgram, args);
  }
};

// Reads the program's standard output until it has said `text`.
bool WaitForOutput(QProcess &process, const QByteArray &text, QByteArray &out) {
  while (!out.contains(text)) {
    if (!process.waitForReadyRead(-1)) return false;
    out += process.readAllStandardOutput();
  }
  return true;
}

QStringList KeptBackups(const QString &dir) { return QDir(dir).entryList({"tmpLogWin-*.txt"}, QDir::Files); }

const QByteArray EarlierBackup = "VE (Win 310)\t\t004321\r\n(an earlier upload's backup)\r\n";


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
  QStringList Env;   // NAME=VALUE; {port} is the simulator's device
  QStringList Said;  // lines that standard output holds too
};

void Run(const Case &c) {
  Bench bench(c.Monitor);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  QStringList args = c.Args;
  args << "--params" << bench.Write("list.txt", SmallList());
  if (c.Full) args << "--program" << bench.Write("fw.s19", ProgramFile(12));
  bench.Controller.SetFaults(c.Faults);
  const QStringList env = QStringList(c.Env).replaceInStrings("{port}", bench.Controller.SlavePath());
  const Outcome out = bench.Upload(args.replaceInStrings("{port}", bench.Controller.SlavePath()), c.Input, env);
  QVERIFY2(out.Status == c.Status, qPrintable(QStringLiteral("exit %1\n%2\n%3").arg(out.Status).arg(out.Out, out.Err)));
  const QString says = QString(c.Says).replace("{port}", bench.Controller.SlavePath());
  QVERIFY2((c.Status == 0 ? out.Out : out.Err).contains(says), qPrintable(out.Out + out.Err));
  for (const QString &line : c.Said) QVERIFY2(out.Out.split('\n').contains(line), qPrintable(line + "\n" + out.Out));
  // The terminal has no menus to send the technician to.
  QVERIFY2(!(out.Out + out.Err).contains("Tools /"), qPrintable(out.Err));
  if (c.Verify) c.Verify(bench);
}

QList<QStringList> JournalAt(const QString &path) {
  QFile file(path);
  QList<QStringList> records;
  if (file.open(QIODevice::ReadOnly)) ParseCsv(file.readAll(), records, nullptr);
  return records;
}

bool Restored(Bench &b) { return IdentificationOf(b.Controller) == b.IdentificationBefore; }

// An interactive shell on a terminal of its own, as in a technician's terminal
// window: job control is on, so "&" puts a job in the terminal's background.
class Shell {
 public:
  explicit Shell(const QString &folder) {
    winsize size{50, 500, 0, 0};  // wide enough that no typed line wraps
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ != 0) return;
    if (::chdir(QFile::encodeName(folder).constData()) != 0) _exit(126);
    ::setenv("PS1", "$ ", 1);
    ::execl("/bin/bash", "bash", "--norc", "--noprofile", "-i", static_cast<char *>(nullptr));
    _exit(127);
  }
  ~Shell() {
    if (master_ >= 0) ::close(master_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool Started() const { return pid_ > 0; }
  void Type(const QByteArray &keys) { QCOMPARE(::write(master_, keys.constData(), size_t(keys.size())), keys.size()); }
  // What the terminal shows until `pattern` matches there; the first group,
  // or a null string once the shell has ended without it.
  QString WaitFor(const QString &pattern) {
    const QRegularExpression wanted(pattern);
    for (;;) {
      if (const auto match = wanted.match(QString::fromLocal8Bit(shown_)); match.hasMatch()) {
        shown_.clear();
        return match.captured(1);
      }
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) return {};
      shown_.append(buffer, n);
      all_.append(buffer, n);
    }
  }
  // Until the shell has ended.
  void WaitForEnd() {
    while (!WaitFor("(?!)").isNull()) {
    }
  }
  QString All() const { return QString::fromLocal8Bit(all_); }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  QByteArray shown_, all_;
};

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
  void refusedBeforeAnyByte_data();
  void refusedBeforeAnyByte();
  void handsAtTheLaterPrompts_data();
  void handsAtTheLaterPrompts();
  void stopSignalsEndTheUploadCleanly_data();
  void stopSignalsEndTheUploadCleanly();
  void lockOfAKilledUploadIsTakenOver();
  void journalElsewhereAndHistory();
  void journalNeverLies_data();
  void journalNeverLies();
  void rerunAfterAnErasedControllerWritesTheKeptValues_data();
  void rerunAfterAnErasedControllerWritesTheKeptValues();
  void interruptedFullUploadIsFinishedByTheCommandItPrints();
  void identifyAndVerifyWriteNothing();
  void pulledAdapterIsWaitedFor();
  void windowWithoutDisplay();
  void simulatorInTheBackground();
  void simulatorOnASerialPort_data();
  void simulatorOnASerialPort();
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
  // After the erase the windows stay blank unless written: that is no success,
  // whatever Check Errors says, and the restore and the lock are left to a finish.
  QTest::newRow("full, Er, no Check Errors, skip")
      << Case{Dialect::Er, true, {"--no-check-errors", "--restore", "skip"}, {}, {}, 4,
              "The identification windows were not written back, so every identification window stays blank.",
              [](Bench &b) {
                QCOMPARE(WrittenWindows(b.Controller), QList<int>{});
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
  QTest::newRow("parameter list, the port by its number")
      << Case{Dialect::E, false, {"--port", "2"}, {}, {}, 0, ParameterSuccess, {}, {"CALVENORI_PORTS=/nonexistent/ttyX,{port}"}};
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
              texts::ErrorDuring("file parameters writing"), [](Bench &b) { QVERIFY(!b.Controller.Locked()); }};
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
  // Not waited for: the pseudo-terminal's name, free again, may come to name another test's.
  QTest::newRow("connection lost, the port named by its path, no wait")
      << Case{Dialect::E, false, {"--port-wait", "0"}, {}, With([](sim::Faults &f) { f.HangUpAfterBytesReceived = 150; }), 5,
              "The connection to serial port /dev/", {}};
  // Enter without the bridge: the monitor stays silent and the prompt comes
  // again, saying so; then the input ends.
  QTest::newRow("no hands, Enter at the bridge prompt without bridging")
      << Case{Dialect::E, true, {"--no-hands"}, "\n", {}, 4, "No answer to the prompt", {}, {},
              {"With the controller off, bridge pins 5 and 9, switch it on, then press Enter (Ctrl-C stops the upload).",
               "The boot monitor did not answer: check the bridge of pins 5 and 9 and the power, then press Enter."}};
}

void CliTest::refusals_data() {
  QTest::addColumn<Case>("c");
  const auto nothingSent = [](Bench &b) { QCOMPARE(b.Controller.Received(), QByteArray()); };
  QTest::newRow("unfit program file")
      << Case{Dialect::E, false, {"--program", "/nonexistent/fw.s19"}, {}, {}, 2, "fw.s19", nothingSent};
  QTest::newRow("unknown option") << Case{Dialect::E, false, {"--baud", "19200"}, {}, {}, 2, "--baud", nothingSent};
  QTest::newRow("bad --restore") << Case{Dialect::E, false, {"--restore", "maybe"}, {}, {}, 2, "maybe", nothingSent};
  QTest::newRow("port: a path that is not there, named by its path")
      << Case{Dialect::E, false, {"--port", "/nonexistent/ttyS9"}, {}, {}, 3,
              "Serial port /nonexistent/ttyS9 could not be opened: the device is not connected.", nothingSent};
  QTest::newRow("port: 0 is a bad option")
      << Case{Dialect::E, false, {"--port", "0"}, {}, {}, 2, "port numbers go from 1 to 255", nothingSent};
  QTest::newRow("port: neither a number nor a path")
      << Case{Dialect::E, false, {"--port", "ttyUSB0"}, {}, {}, 2, "--port takes a port number", nothingSent};
  QTest::newRow("port: COMn is Windows' own")
      << Case{Dialect::E, false, {"--port", "COM1"}, {}, {}, 2, "not 'COM1'", nothingSent};
  QTest::newRow("port: a number not known, the known ones listed")
      << Case{Dialect::E, false, {"--port", "3"}, {}, {}, 3,
              "No serial device is known as port 3.\nThe upload has not been started.\n"
              "The serial ports known here (from CALVENORI_PORTS):\n    1  /nonexistent/ttyX\n    2  {port}\n",
              nothingSent, {"CALVENORI_PORTS=/nonexistent/ttyX,{port}"}};
  QTest::newRow("port: a number, none known")
      << Case{Dialect::E, false, {"--port", "1"}, {}, {}, 3,
              "No serial device is known as port 1.\nThe upload has not been started.\n"
              "No serial port is known here (from CALVENORI_PORTS).\n",
              nothingSent, {"CALVENORI_PORTS="}};
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
  const QString examples = QStringLiteral(CALVENORI_EXAMPLES "/");
  // All three alike: -v and --version, -h and --help.
  for (const auto &[program, name] : {std::pair{UploadProgram, "calvenori-upload"}, {window, "calvenori-uploader"},
                                      {SimProgram, "calvenori-sim"}}) {
    for (const char *option : {"-v", "--version"})
      QTest::addRow("%s %s", name, option) << program << option << QString(name) + " 1.5.0\n";
    QTest::addRow("%s -h", name) << program << "-h" << "Usage: " + QString(name);
    QTest::addRow("%s --help names the examples", name) << program << "--help" << examples;
  }
  QTest::newRow("window --help names the journal") << window << "--help" << "calvenori-uploads.csv in the working";
  QTest::newRow("upload --help names --history") << UploadProgram << "--help" << "--history [FILE]";
  QTest::newRow("upload --help names the status of a line not written")
      << UploadProgram << "--help" << "6  uploaded, but the upload's line could not be added to the journal";
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

void CliTest::refusedBeforeAnyByte_data() {
  QTest::addColumn<QString>("how");
  for (const char *how : {"full disk", "read-only folder", "another upload in the folder", "--restore-from blanks"})
    QTest::newRow(how) << QString(how);
}

// The folder and the files are checked before the technician is sent to work.
void CliTest::refusedBeforeAnyByte() {
  QFETCH(QString, how);
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  QStringList args{"--params", bench.Write("list.txt", SmallList()), "--program", bench.Write("fw.s19", ProgramFile(12))};
  SmallDisk disk;
  QLockFile other(bench.Dir.filePath("tmpLogWin.txt.lock"));
  QString says;
  if (how == "full disk" || how == "read-only folder") {
    REQUIRE_SMALL_DISK(disk);
    WriteTestFile(disk.Path(), "tmpLogWin.txt", EarlierBackup);
    if (how == "full disk") disk.Fill();
    else QVERIFY(disk.MakeReadOnly());
    bench.WorkDir = disk.Path();
    says = "The working folder " + disk.Path() + " cannot take the backup file tmpLogWin.txt: a file cannot be written " +
           "there (" + (how == "full disk" ? "No space left on device" : "Read-only file system") + ").";
  } else if (how == "another upload in the folder") {
    QVERIFY(other.tryLock(0));
    says = QStringLiteral("another upload is running there (test_cli, process %1 on ").arg(QCoreApplication::applicationPid());
  } else {
    QByteArray blanks;
    for (const char *label : IdWindowLabels) blanks += QByteArray(label) + "\t\t0\r\n";
    args << "--restore-from" << bench.Write("blanks.txt", blanks);
    says = "Backup file " + bench.Dir.filePath("blanks.txt") + " holds no controller's values";
  }

  const Outcome out = bench.Upload(args);

  QVERIFY2(out.Status == 2 && out.Err.contains(says), qPrintable(QString::number(out.Status) + out.Err));
  QCOMPARE(out.Out, QString());
  QCOMPARE(bench.Controller.Received(), QByteArray());
  if (bench.WorkDir == disk.Path()) {
    QFile backup(disk.FilePath("tmpLogWin.txt"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), EarlierBackup);
  }
}

void CliTest::handsAtTheLaterPrompts_data() {
  QTest::addColumn<QByteArray>("script");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("says");
  // The technician's first power cycle does not take: the monitor still answers.
  const QByteArray forgetsFirstCycle = "echo \"$1\" >> actions.log\n"
                                       "[ \"$1\" = cycle ] && [ $(grep -cx cycle actions.log) = 1 ] && exit 0\n";
  QTest::newRow("monitor-mode prompt: power-cycled")
      << forgetsFirstCycle + "exec $HANDS \"$1\"\n" << 0
      << texts::StillInMonitorPrompt + "\n";
  QTest::newRow("monitor-mode prompt: the action fails")
      << forgetsFirstCycle + "[ \"$1\" = cycle ] && exit 3\nexec $HANDS \"$1\"\n" << 4
      << "The action \"cycle\" failed (exit status 3).";
  QTest::newRow("the disk fills up while the controller is bridged")
      << QByteArray("[ \"$1\" = bridge-and-cycle ] && cat /dev/zero > \"$DISK/.filler\" 2>/dev/null\n"
                    "exec $HANDS \"$1\"\n")
      << 4 << "could not be kept as ";
}

// The actions hook answers the prompts after the transfer, and a disk that
// fills up after the folder check still stops the upload before the erase.
void CliTest::handsAtTheLaterPrompts() {
  QFETCH(QByteArray, script);
  QFETCH(int, status);
  QFETCH(QString, says);
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  SmallDisk disk;
  const bool filling = script.contains("DISK");
  if (filling) {
    REQUIRE_SMALL_DISK(disk);
    WriteTestFile(disk.Path(), "tmpLogWin.txt", EarlierBackup);
    bench.WorkDir = disk.Path();
    script.prepend("DISK='" + disk.Path().toLocal8Bit() + "'\ncd '" + bench.Dir.path().toLocal8Bit() + "'\n");
  } else {
    script.prepend("cd '" + bench.Dir.path().toLocal8Bit() + "'\n");
  }
  QStringList args{"--params", bench.Write("list.txt", SmallList()), "--restore", "keep", "--actions",
                   bench.ScriptedHands(script)};
  // The parameter list alone leaves the controller in its monitor until the power cycle.
  if (filling) args << "--program" << bench.Write("fw.s19", ProgramFile(12));
  const Outcome out = bench.Upload(args);
  QVERIFY2(out.Status == status && (status == 0 ? out.Out : out.Err).contains(says),
           qPrintable(QString::number(out.Status) + "\nsays: " + says + "\nout: " + out.Out.right(600) + "\nerr: " + out.Err));
  QCOMPARE(bench.Controller.Locked(), status == 0);
  if (!filling) return;
  QVERIFY2(out.Err.contains("\n" + texts::Unchanged + " " + texts::WaitsInMonitor), qPrintable(out.Err));
  QCOMPARE(MonitorCommandCount(bench.Controller, "E", 1), 0);
  QFile backup(disk.FilePath("tmpLogWin.txt"));
  QVERIFY(backup.open(QIODevice::ReadOnly));
  QCOMPARE(backup.readAll(), EarlierBackup);
  QCOMPARE(KeptBackups(disk.Path()), QStringList());
}

void CliTest::stopSignalsEndTheUploadCleanly_data() {
  QTest::addColumn<int>("signal");
  QTest::addColumn<bool>("atPrompt");  // else while the program file is sent
  QTest::addColumn<QString>("says");
  QTest::newRow("Ctrl-C while programming")
      << int(SIGINT) << false
      << "The upload was stopped by SIGINT (Ctrl-C) during \"Sending Program File\".\n" + texts::Interrupts;
  QTest::newRow("SIGHUP at the bridge prompt")
      << int(SIGHUP) << true
      << "The upload was stopped by SIGHUP during \"" + texts::OnOneLine(texts::BridgePrompt) + "\".\n" +
             texts::Unchanged.chopped(1);
  QTest::newRow("SIGTERM while programming") << int(SIGTERM) << false << "The upload was stopped by SIGTERM during";
}

void CliTest::stopSignalsEndTheUploadCleanly() {
  QFETCH(int, signal);
  QFETCH(bool, atPrompt);
  QFETCH(QString, says);
  Bench bench(Dialect::E, true);  // paced like a real line, so the transfer lasts
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString trace = bench.Dir.filePath("wire.trace");
  QStringList args{"--params", bench.Write("list.txt", SmallList()), "--program", bench.Write("fw.s19", ProgramFile(200)),
                   "--trace", trace};
  if (atPrompt) args << "--no-hands";
  QProcess process;
  bench.Start(process, args);
  QVERIFY(process.waitForStarted(-1));
  QByteArray out;
  if (atPrompt) QVERIFY(WaitForOutput(process, "press Enter", out));
  else QTRY_VERIFY_WITH_TIMEOUT(bench.Controller.Received().count("S1") >= 2 || process.state() != QProcess::Running, 60000);
  QVERIFY2(process.state() == QProcess::Running, process.readAllStandardError().constData());
  ::kill(process.processId(), signal);
  QVERIFY(process.waitForFinished(-1));

  const QString err = QString::fromLocal8Bit(process.readAllStandardError());
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 4);
  QVERIFY2(err.contains(says), qPrintable(err));
  // Stopped after the erase, the one way on is the finish; before it, there is nothing to finish.
  const QString finish = NeedsText(UploadKind::Full, Remains::Program) + "\nTo finish it, run:\n  ";
  QVERIFY2(err.contains(finish) != atPrompt && err.contains(" --port " + bench.Controller.SlavePath() + " ") != atPrompt &&
               err.contains(" --finish\n") != atPrompt,
           qPrintable(err));
  QFile traced(trace);
  QVERIFY(traced.open(QIODevice::ReadOnly));
  QVERIFY2(traced.readAll().trimmed().endsWith(" closed"), "the trace has no closing line");
  QLockFile lock(bench.Dir.filePath("tmpLogWin.txt.lock"));
  QVERIFY(lock.tryLock(0));
  const QList<QStringList> journal = JournalAt(bench.Dir.filePath("calvenori-uploads.csv"));
  QCOMPARE(journal.size(), 2);
  QVERIFY2(journal[1][16].startsWith("cut short by " + says.section(' ', 5, 5)), qPrintable(journal[1][16]));
}

// A journal elsewhere takes the lines of uploads made in any folder, and
// --history reads it back newest first.
void CliTest::journalElsewhereAndHistory() {
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  QTemporaryDir shared;
  const QString journal = shared.filePath("workshop.csv");
  const QString list = bench.Write("list.txt", SmallList());
  Outcome run = bench.Upload(
      {"--params", list, "--program", bench.Write("fw.s19", ProgramFile(12)), "--actions", "false", "--journal", journal});
  QCOMPARE(run.Status, 4);
  run = bench.Upload({"--params", list, "--journal=" + journal});
  QVERIFY2(run.Status == 0, qPrintable(run.Err));
  QVERIFY(!QFileInfo::exists(bench.Dir.filePath("calvenori-uploads.csv")));
  const QList<QStringList> records = JournalAt(journal);
  QCOMPARE(records.size(), 3);
  QCOMPARE(records[2].mid(2, 2), QStringList({"calvenori-upload", "1.5.0"}));
  // The port was given by its path: no number in the Port column, the path in Device.
  QCOMPARE(records[2].mid(8, 2), QStringList({"", bench.Controller.SlavePath()}));

  run = bench.Upload({"--history", journal});
  QCOMPARE(run.Status, 0);
  const QStringList lines = run.Out.split('\n', Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 3);
  QVERIFY2(lines[0].startsWith("Started  ") && lines[1].contains("  parameter list  ") && lines[1].contains("  uploaded  ") && lines[1].endsWith("  0") &&
               lines[2].contains("  full  ") &&
               lines[2].contains("  interrupted at \"" + texts::OnOneLine(texts::BridgePrompt) + "\""),
           qPrintable(run.Out));
  run = bench.Upload({"--history"});  // the working folder has none
  QVERIFY2(run.Status == 2 && run.Err.contains("cannot read the journal " + bench.Dir.filePath("calvenori-uploads.csv")),
           qPrintable(run.Err));
}

void CliTest::journalNeverLies_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("a writable journal in a folder that takes no new file") << "no lock file";
  QTest::newRow("the journal's disk fills up during the upload") << "full at the end";
  QTest::newRow("a line cut inside a quoted field") << "cut line";
}

// The journal holds a line for what happened, or the upload says it does not:
// refused before anything is sent when no line could be added, status 6 when
// a completed upload's line could not be, and a cut line costs itself alone.
void CliTest::journalNeverLies() {
  QFETCH(QString, how);
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  SmallDisk disk;
  QTemporaryDir elsewhere;
  QString journal = elsewhere.filePath("workshop.csv");
  JournalEntry earlier;
  earlier.Started = QDateTime::currentDateTime().addDays(-1);
  earlier.Outcome = "uploaded";
  earlier.ParameterList = "/srv/Pumpe Nord, Halle 3/liste.txt";  // quoted for its comma
  const Verdict appended = AppendToJournal(journal, earlier);
  QVERIFY2(appended, qPrintable(appended.Why));
  QStringList args{"--params", bench.Write("list.txt", SmallList()), "--restore", "keep"};
  if (how == "no lock file") {
    REQUIRE_SMALL_DISK(disk);
    QVERIFY(disk.BindFile(journal, "workshop.csv"));
    QVERIFY(disk.MakeReadOnly());
    journal = disk.FilePath("workshop.csv");
    args << "--program" << bench.Write("fw.s19", ProgramFile(12));
  } else if (how == "full at the end") {
    REQUIRE_SMALL_DISK(disk);
    QVERIFY(QFile::copy(journal, disk.FilePath("workshop.csv")));
    journal = disk.FilePath("workshop.csv");
    // The last prompt's hands fill the journal's disk: the line cannot be added.
    args << "--actions"
         << bench.ScriptedHands("[ \"$1\" = cycle ] && cat /dev/zero > '" + disk.FilePath(".filler").toLocal8Bit() +
                                "' 2>/dev/null\nexec $HANDS \"$1\"\n");
  } else {
    QFile file(journal);
    QVERIFY(file.open(QIODevice::Append));
    const QByteArray line = CsvRecord(JournalFields(earlier));
    file.write(line.left(line.indexOf("Halle")));  // cut inside the quoted path
  }
  QFile before(journal);
  QVERIFY(before.open(QIODevice::ReadOnly));
  const QByteArray held = before.readAll();

  const Outcome run = bench.Upload(args << "--journal" << journal);

  QFile after(journal);
  QVERIFY(after.open(QIODevice::ReadOnly));
  const QByteArray now = after.readAll();
  const QString result = QString::number(run.Status) + "\n" + run.Out.right(300) + "\n" + run.Err;
  if (how == "no lock file") {
    QVERIFY2(run.Status == 2 && run.Err.contains("The upload journal " + journal + " cannot take a line: its lock file " +
                                                 journal + ".lock cannot be made.\nThe upload has not been started."),
             qPrintable(result));
    QCOMPARE(bench.Controller.Received(), QByteArray());
    QCOMPARE(now, held);
    return;
  }
  if (how == "full at the end") {
    QVERIFY2(run.Status == 6 && run.Out.contains(ParameterSuccess) &&
                 run.Err.contains("The upload journal " + journal + " could not be written: ") &&
                 run.Err.contains(".\nThis upload has no line in it."),
             qPrintable(result));
    QVERIFY(bench.Controller.Locked());
    QCOMPARE(now, held);
    return;
  }
  QVERIFY2(run.Status == 0 && now.startsWith(held), qPrintable(result));
  const Outcome history = bench.Upload({"--history", journal});
  QVERIFY2(history.Status == 0 && history.Err.contains("calvenori-upload: 1 line of the journal " + journal +
                                                       " could not be read"),
           qPrintable(history.Err));
  const QStringList rows = history.Out.split('\n', Qt::SkipEmptyParts);
  QCOMPARE(rows.size(), 3);
  QVERIFY2(rows[1].contains("  uploaded  ") && rows[1].contains("  list.txt  ") && rows[2].contains("  liste.txt  "),
           qPrintable(history.Out));
}

// A crashed or killed upload leaves its lock file; the next one takes it over.
void CliTest::lockOfAKilledUploadIsTakenOver() {
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString list = bench.Write("list.txt", SmallList());
  QProcess killed;
  bench.Start(killed, {"--params", list, "--no-hands"});
  QByteArray out;
  QVERIFY(WaitForOutput(killed, "press Enter", out));
  killed.kill();
  QVERIFY(killed.waitForFinished(-1));
  QVERIFY(QFileInfo::exists(bench.Dir.filePath("tmpLogWin.txt.lock")));
  bench.Controller.PowerCycle();  // it was left in its monitor

  const Outcome next = bench.Upload({"--params", list});
  QVERIFY2(next.Status == 0, qPrintable(next.Err));
}

void CliTest::rerunAfterAnErasedControllerWritesTheKeptValues_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<QString>("says");
  QTest::addColumn<QString>("named");  // the rescue line up to the kept file's path
  QTest::newRow("erased by a full upload")
      << "erased" << "Every identification window read zero or empty at the start"
      << "The last values read from a controller are in ";
  QTest::newRow("one window timed out, the rest blank")
      << "timed out" << "Every identification window that answered read zero or empty at the start"
      << "The last values read from a controller are in ";
  QTest::newRow("partly blank")
      << "partly" << "Identification windows 310, 323 read zero or empty at the start, where a kept backup holds a value"
      << "The last values read from a controller for windows 310, 323 are in ";
}

// A full upload whose identification windows were not written back leaves an
// erased controller, a restore by hand one partly blank; the next upload must
// not take their zeros for values.
void CliTest::rerunAfterAnErasedControllerWritesTheKeptValues() {
  QFETCH(QString, how);
  QFETCH(QString, says);
  QFETCH(QString, named);
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString list = bench.Write("list.txt", SmallList());
  Outcome run;
  if (how == "partly") {
    run = bench.Upload({"--params", list, "--restore", "keep"});
    bench.Controller.SetWindow(310, "");
    bench.Controller.SetWindow(323, "");
  } else {
    // Skipped after the erase: not a success, and the windows stay blank.
    run = bench.Upload({"--params", list, "--program", bench.Write("fw.s19", ProgramFile(12)), "--restore", "skip"});
  }
  QVERIFY2(run.Status == (how == "partly" ? 0 : 4), qPrintable(run.Err));
  QVERIFY(IdentificationOf(bench.Controller) != bench.IdentificationBefore);
  bench.Controller.ClearReceived();

  QStringList keep{"--params", list, "--restore", "keep"};
  if (how == "timed out") {
    bench.Controller.SetFaults(With([](sim::Faults &f) { f.FailReadOfWindow = 319; }));
    keep << "--no-check-errors";
  }
  run = bench.Upload(keep);
  bench.Controller.SetFaults({});
  QVERIFY2(run.Status == 4 && run.Err.contains(says), qPrintable(run.Err));
  const QStringList kept = KeptBackups(bench.Dir.path());
  QCOMPARE(kept.size(), 1);
  QVERIFY2(run.Err.contains(named + bench.Dir.filePath(kept[0]) + ", saved ") &&
               run.Err.contains("(Controller P/N CU-4471-02, Controller S/N C23119876, Pump S/N P24051703)"),
           qPrintable(run.Err));
  QVERIFY(!WrittenWindows(bench.Controller).contains(310));

  if (how == "partly") {
    // Typed in instead, the listing showing what the kept backup holds.
    run = bench.Upload({"--params", list, "--restore", "ask"}, "310=001234\n323=C23119876\n\n");
    QVERIFY2(run.Out.contains("000000  (read blank; " + kept[0] + " holds 001234)\n"), qPrintable(run.Out));
  } else {
    run = bench.Upload({"--params", list, "--restore", "keep", "--restore-from", bench.Dir.filePath(kept[0])});
    QVERIFY(run.Out.contains("Identification windows to write back, from the --restore-from file:\n"));
  }
  QVERIFY2(run.Status == 0, qPrintable(run.Err));
  QVERIFY(IdentificationOf(bench.Controller) == bench.IdentificationBefore);
}

// Where there is no display the window program points at the command line
// instead of aborting inside Qt; a platform given is Qt's to try.
// Cut short during the program transfer, the upload prints the command that
// finishes it; run by a shell as printed, once the technician has powered the
// controller up without the bridge, it names the numbers to check before
// anything goes out and restores the controller's own values, although
// another pump's upload in the same folder has replaced tmpLogWin.txt since.
void CliTest::interruptedFullUploadIsFinishedByTheCommandItPrints() {
  Bench bench(Dialect::Er);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QStringList files{"--params", bench.Write("list.txt", SmallList()), "--program",
                          bench.Write("fw 1.s19", ProgramFile(12))};
  bench.Controller.SetFaults(With([](sim::Faults &f) { f.RefuseRecord = 5;
    f.RefuseRecordTimes = RefusedRecordAttempts; }));
  const Outcome first = bench.Upload(files);
  QCOMPARE(first.Status, 4);
  const QStringList said = first.Err.split('\n');
  const qsizetype at = said.indexOf("To finish it, run:");
  QVERIFY2(at >= 0, qPrintable(first.Err));
  const QString command = said.value(at + 1).trimmed();
  QVERIFY2(command.endsWith(" --finish"), qPrintable(command));
  const QString own = OwnBackupIn(bench.WorkDir);
  QVERIFY(!own.isEmpty());

  // Another pump on the bench meanwhile: its values in tmpLogWin.txt now.
  bench.Controller.SetFaults({});
  bench.Controller.SetBridge(false);
  sim::SimulatedController other;
  sim::ControlChannel otherHands;
  QVERIFY(other.Start() && otherHands.Start(other, bench.Dir.filePath("ctl-other"), nullptr));
  other.SetWindow(323, "C-OTHER-77");
  const Outcome another = bench.Upload({"--params", bench.Write("other.txt", SmallList()), "--port", other.SlavePath(),
                                        "--actions", SimProgram + " ctl " + bench.Dir.filePath("ctl-other")});
  QVERIFY2(another.Status == 0, qPrintable(another.Err));
  QVERIFY(bench.BackupFileHolds("C-OTHER-77"));

  bench.Controller.PowerCycle();
  QProcess shell;
  shell.setWorkingDirectory(bench.WorkDir);
  shell.start("sh", {"-c", command});
  QVERIFY(shell.waitForFinished(-1));
  const QString out = QString::fromLocal8Bit(shell.readAllStandardOutput());
  QVERIFY2(shell.exitCode() == 0, qPrintable(out + shell.readAllStandardError()));
  QVERIFY2(out.startsWith("Finishing the full upload of "), qPrintable(out));
  QVERIFY2(out.contains("The identification values are those of " + own +
                        " (Controller P/N CU-4471-02, Controller S/N C23119876, Pump S/N P24051703): check them "
                        "against the pump's label.\n"),
           qPrintable(out));
  QCOMPARE(IdentificationOf(bench.Controller), bench.IdentificationBefore);
  QVERIFY(bench.Controller.Locked());
  const QList<QStringList> journal = JournalAt(bench.Dir.filePath("calvenori-uploads.csv"));
  QCOMPARE(journal.size(), 4);
  QCOMPARE(journal[3].mid(10, 2), QStringList({"CU-4471-02", "C23119876"}));
  QCOMPARE(journal[3][16], QStringLiteral("uploaded"));
  QCOMPARE(journal[3].mid(19, 2), QStringList({"Lock", own}));
  QVERIFY2(journal[3][18].endsWith("identification values from " + own), qPrintable(journal[3][18]));
}

// The program as a bench runs it: --identify, then --verify of the list the
// controller holds and of one it does not; nothing is erased or written but
// the monitor-mode window, and the exit status tells equal from different.
// The adapter pulled in the middle of the list and plugged in again: the
// terminal says so and counts down, and the upload goes on to its end.
void CliTest::pulledAdapterIsWaitedFor() {
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString link = bench.Dir.filePath("pump");
  QVERIFY2(bench.Controller.SetLink(link, &bench.Error), qPrintable(bench.Error));
  // Nine window reads, window 500, the monitor probes and the CRC, then a byte or two.
  QVERIFY(bench.Controller.UnplugAfterBytesReceived(9 * 9 + 10 + 1 + 2 + (1 + 6) + 8 + 4, 1500));
  const Outcome o = bench.Upload({"--params", bench.Write("list.txt", SmallList()), "--port", link});
  QVERIFY2(o.Status == 0, qPrintable(o.Out + o.Err));
  QCOMPARE(bench.Controller.Unplugs(), 1);
  QVERIFY2(o.Err.contains(" was lost: plug the adapter in again within 60 s to go on. Ctrl-C stops the upload.\n") &&
               o.Err.contains(" s left\n") && o.Err.contains("The port is back."),
           qPrintable(o.Err));
  QVERIFY2(o.Out.contains(texts::ParameterSuccess) && o.Out.contains(texts::Repeated(1)), qPrintable(o.Out));
  QVERIFY(bench.Controller.Locked());
}

void CliTest::identifyAndVerifyWriteNothing() {
  Bench bench(Dialect::E);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString list = bench.Write("list.txt", SmallList());
  QCOMPARE(bench.Upload({"--params", list}).Status, 0);
  bench.Controller.ClearReceived();

  const Outcome identified = bench.Upload({"--identify"});
  QVERIFY2(identified.Status == 0, qPrintable(identified.Err));
  QVERIFY2(identified.Out.contains("CU-4471-02") && identified.Out.contains("Lock (Win 501):\tlocked"),
           qPrintable(identified.Out));
  const Outcome equal = bench.Upload({"--verify", "--params", list});
  QVERIFY2(equal.Status == 0, qPrintable(equal.Out + equal.Err));
  const QByteArray other = ParameterList("&H0400", {{2, 1500}, {1, 201}}, 4660);  // one byte unlike SmallList()
  const Outcome different = bench.Upload({"--verify", "--params", bench.Write("other.txt", other)});
  QCOMPARE(different.Status, 7);
  QVERIFY2(different.Out.contains("different: 1."), qPrintable(different.Out));

  QCOMPARE(MonitorCommandCount(bench.Controller, "E"), 0);
  QCOMPARE(MonitorCommandCount(bench.Controller, "C"), 0);
  for (const int window : WrittenWindows(bench.Controller)) QCOMPARE(window, 500);
  const QList<QStringList> journal = JournalAt(bench.Dir.filePath("calvenori-uploads.csv"));
  QCOMPARE(journal.last()[16], QStringLiteral("verified: 1 record(s) differ"));
  // As for an upload: the port was given by its path, so no number is recorded for it.
  for (const QStringList &line : journal.mid(2)) QCOMPARE(line.mid(8, 2), QStringList({"", bench.Controller.SlavePath()}));
}

void CliTest::windowWithoutDisplay() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(CALVENORI_WINDOW_PROGRAM), QStringList());
  QVERIFY(process.waitForFinished(-1));
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 1);
  const QStringList said = QString::fromLocal8Bit(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
  QCOMPARE(said.size(), 1);
  QVERIFY2(said[0].contains("use calvenori-upload "), qPrintable(said[0]));

  // Qt's own options pass; anything else is refused with no window. A trace
  // file that cannot be written ends the run where a window would open.
  const QList<QPair<QStringList, QString>> refused{
      {{"-platform", "offscreen", "--no-such-option"}, "unrecognised argument '--no-such-option'"},
      {{"-platform", "offscreen", "-style", "Fusion", "--trace", "/nonexistent/t"}, "cannot write the trace file"}};
  for (const auto &[args, says] : refused) {
    process.start(QStringLiteral(CALVENORI_WINDOW_PROGRAM), args);
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(err.contains(says), qPrintable(err));
  }
}

// The user guide's session, typed into an interactive shell: the simulator
// started with "&" keeps running while keys are typed at the shell (a job
// that reads its terminal from the background is stopped), and the upload
// of the example files through it succeeds.
void CliTest::simulatorInTheBackground() {
  QTemporaryDir dir;
  Shell shell(dir.path());
  QVERIFY(shell.Started());
  const QString link = dir.filePath("pump"), control = dir.filePath("ctl");
  shell.Type(QStringLiteral("%1 --control %2 --link %3 &\n").arg(SimProgram, control, link).toLocal8Bit());
  QVERIFY2(!shell.WaitFor("(/dev/pts/\\d+)\r").isNull(), qPrintable(shell.All()));
  const QString examples = QStringLiteral(CALVENORI_SOURCE_EXAMPLES);
  // The line after the upload waits, typed ahead, in the terminal while the upload runs.
  shell.Type(QStringLiteral("%1 --port %2 --params %3/pump-parameters.txt --program %3/pump-controller-v1.5.s19 "
                            "--actions '%4 ctl %5' --restore keep; echo \"status=$?=\"\n: typed ahead\n")
                 .arg(UploadProgram, link, examples, SimProgram, control)
                 .toLocal8Bit());
  QCOMPARE(shell.WaitFor("status=(\\d+)="), QStringLiteral("0"));
  shell.Type("kill %1; wait %1; echo \"sim=$?=\"\n");
  QCOMPARE(shell.WaitFor("sim=(\\d+)="), QStringLiteral("0"));  // ended by SIGTERM, as asked
  shell.Type("exit\n");
  shell.WaitForEnd();
  QVERIFY2(!shell.All().contains("Stopped"), qPrintable(shell.All()));
  QVERIFY2(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink(), "the link outlives the simulator");
}

// A laptop with two adapters and a null-modem cable, or a virtual pair: the
// simulator serves one end, the uploader opens the other, and what the
// controller then holds is read back through the same pair. When the pair
// goes, the simulator ends and says so.
void CliTest::simulatorOnASerialPort_data() {
  QTest::addColumn<QStringList>("simulator");
  QTest::addColumn<bool>("full");
  QTest::newRow("full upload") << QStringList() << true;
  QTest::newRow("parameter list, Er monitor, a USB converter's pace")
      << QStringList{"--dialect", "Er", "--delivery", "usb:16"} << false;
}
void CliTest::simulatorOnASerialPort() {
  QFETCH(QStringList, simulator);
  QFETCH(bool, full);
  NullModemPair pair;
  QVERIFY2(pair.Started(), qPrintable(pair.Error()));
  QTemporaryDir dir;
  const QString control = dir.filePath("ctl");
  QProcess served;
  served.start(SimProgram, simulator << "--device" << pair.End(0) << "--control" << control);
  QVERIFY(served.waitForReadyRead(-1));
  QCOMPARE(QString::fromLocal8Bit(served.readLine()).trimmed(), pair.End(0));

  const auto upload = [&](QStringList args) {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(UploadProgram, args << "--port" << pair.End(1) << "--actions" << SimProgram + " ctl " + control);
    process.waitForFinished(-1);
    return Outcome{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
  };
  const QString list = QStringLiteral(CALVENORI_SOURCE_EXAMPLES "/pump-parameters.txt");
  QStringList args{"--params", list, "--restore", "keep"};
  if (full) args << "--program" << QStringLiteral(CALVENORI_SOURCE_EXAMPLES "/pump-controller-v1.5.s19");
  const Outcome uploaded = upload(args);
  QVERIFY2(uploaded.Status == 0 && uploaded.Out.contains("uploaded!"), qPrintable(uploaded.Out + uploaded.Err));
  const Outcome verified = upload({"--verify", "--params", list});
  QVERIFY2(verified.Status == 0, qPrintable(verified.Out + verified.Err));

  pair.Cut();
  QVERIFY(served.waitForFinished(-1));
  QCOMPARE(served.exitCode(), 1);
  QVERIFY(served.readAllStandardError().contains("went away"));
}

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
