// A whole full-mode upload of the sample files, offscreen, against the
// simulated controller pacing its bytes like a real 9600 8N1 line, with an
// automatic technician. Prints how close the upload comes to what the line
// and the required pauses allow, and what it costs the machine; then runs the
// same upload through a USB converter's 16 ms latency timer and prints its
// wall time and the part of it spent settling; then the paced upload again
// with a wire trace, and once more through calvenori-upload with its actions
// hook, each against its own floor. Right after the first, the paced upload
// runs again against a monitor whose erases take 300 ms, to show that the
// read-backs settle as long as without them (readback_settle_ms beside
// slow_erase_readback_settle_ms). Last, what the upload journal costs an
// upload (journal_overhead_ratio).
//   build/default/bench/bench_upload [--soak [records]]
// --soak sends a generated program file of 100,000 records through the
// unpaced simulator and also prints resident memory at start and end.
// --wine (scripts/wine-bench.sh) times calvenori-upload.exe of the Windows
// build under Wine instead, against the floor of an unpaced line (Wine
// delivers input that trickles in on a pseudo-terminal only at the program's
// next write, so the paced line cannot run there), beside the native program
// on the same line.
#include "ControlChannel.h"
#include "FieldReader.h"
#include "Journal.h"
#include "ParameterList.h"
#include "SimulatedController.h"
#include "Technician.h"
#include "WineHands.h"
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The main window with its fixed pauses counted: they belong to the floor.
class PauseCountingMain : public MainWindow {
 public:
  double PausedSeconds = 0;
  void Wait(double seconds) override {
    PausedSeconds += seconds;
    MainWindow::Wait(seconds);
  }
  // Where the time went, step by step: caption, seconds since the start.
  std::vector<std::pair<QString, double>> Steps;
  QElapsedTimer *Clock = nullptr;
  void SetStep(Step step) override {
    if (Clock) Steps.emplace_back(StepCaption(step), Clock->nsecsElapsed() / 1e9);
    if (step == Step::VerifyingParameters) SettledAtVerification = Port().Timing().SettledNs;
    MainWindow::SetStep(step);
  }
  // The settling done before the read-backs began; -1 until they begin.
  qint64 SettledAtVerification = -1;
};

// How many "R" commands the verification sends for the list.
int ReadBackCount(const QString &parameters) {
  FieldReader file;
  QString error;
  if (!file.Open(parameters, &error)) return 0;
  int count = 0;
  ParameterWalk walk;
  walk.Span = RecordSpan::SizeAddresses;
  walk.OnByte = [&count](quint16, quint8, const ParameterRecord &) {
    ++count;
    return true;
  };
  WalkParameterList(file, walk);
  return count;
}

double CpuSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ResidentMb() {
  QFile statm("/proc/self/statm");
  if (!statm.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields[1].toDouble() * sysconf(_SC_PAGESIZE) / 1048576.0 : 0;
}

double PeakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

QByteArray SRecordLine(quint16 address, const QByteArray &data) {
  QByteArray body;
  body += char(data.size() + 3);
  body += char(address >> 8);
  body += char(address & 0xFF);
  body += data;
  quint8 sum = 0;
  for (char c : body) sum += quint8(c);
  body += char(~sum);
  return "S1" + body.toHex().toUpper() + "\r\n";
}

QString WriteSoakFile(const QString &dir, int records) {
  const QString path = dir + "/soak.s19";
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return {};
  for (int i = 0; i < records; ++i) {
    QByteArray data(16, char(i & 0xFF));
    f.write(SRecordLine(quint16(i * 16), data));
  }
  f.write("S9030000FC\r\n");
  return path;
}

void Choose(MainWindow &window, const char *button, const QString &path) {
  window.OpenFileDialog = [path](QWidget *, const QString &, const QString &) { return path; };
  window.findChild<QPushButton *>(button)->click();
}

struct RunFigures {
  bool Succeeded = false;
  QString LastMessage;
  double WallAtSuccess = 0, Cpu = 0, ToolCpu = 0, Paused = 0, SettledSeconds = 0, LearnedGapMs = 0, RssStart = 0;
  double ReadBackSettleMs = 0;  // settling per read-back
  qint64 Bytes = 0, AddedDelayMs = 0;
  std::vector<std::pair<QString, double>> Steps;
};

// One whole full-mode upload with Check Errors on.
RunFigures RunUpload(const QString &program, const QString &parameters, bool paced, const sim::LineDelivery &line,
                     const QString &trace = {}, const sim::Faults &monitor = {}) {
  RunFigures run;
  sim::SimulatedController controller(sim::Dialect::E);
  controller.SetPaced(paced);
  controller.SetDelivery(line);
  controller.SetFaults(monitor);
  QString error;
  if (!controller.Start(&error)) {
    run.LastMessage = "simulator: " + error;
    return run;
  }
  qputenv("CALVENORI_PORTS", controller.SlavePath().toLocal8Bit());

  PauseCountingMain window;
  window.Port().SetTraceFile(trace);
  window.show();
  Technician hands(controller);
  window.findChild<QRadioButton *>("optAll")->click();
  Choose(window, "cmdProgramPath", program);
  Choose(window, "cmdParameterPath", parameters);
  window.findChild<QAction *>("mnuCheckError")->trigger();

  QElapsedTimer wall;
  const QString success = "Program File and Parameter List have been uploaded!";
  // The first message after the read-backs began ends them.
  qint64 settledAfterVerification = -1;
  hands.OnMessage = [&](const QString &text) {
    if (window.SettledAtVerification >= 0 && settledAfterVerification < 0)
      settledAfterVerification = window.Port().Timing().SettledNs;
    if (text == success) run.WallAtSuccess = wall.nsecsElapsed() / 1e9;
  };
  // The simulator keeps a record of every byte for the tests; emptied now and
  // then so that what grows, if anything, is the tool.
  QTimer forget;
  QObject::connect(&forget, &QTimer::timeout, [&controller] { controller.ClearReceived(); });
  forget.start(1000);
  run.RssStart = ResidentMb();
  const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double toolCpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  window.Clock = &wall;
  wall.start();
  window.findChild<QPushButton *>("cmdStartDownload")->click();
  run.Cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
  run.ToolCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - toolCpuStart;
  run.Succeeded = run.WallAtSuccess > 0;
  run.LastMessage = hands.LastMessage();
  run.Paused = window.PausedSeconds;
  run.SettledSeconds = window.Port().Timing().SettledNs / 1e9;
  run.LearnedGapMs = window.Port().Timing().LongestGapNs / 1e6;
  const int readBacks = ReadBackCount(parameters);
  if (readBacks > 0 && settledAfterVerification >= 0)
    run.ReadBackSettleMs = (settledAfterVerification - window.SettledAtVerification) / 1e6 / readBacks;
  run.Bytes = controller.BytesSent() + controller.BytesReceived();
  run.AddedDelayMs = controller.AddedDelayMs();
  run.Steps = window.Steps;
  return run;
}

// The floor of a paced run: every byte on the line at 10 bits a byte, the
// pauses the sequence must make, the simulator's deliberate delays, and the
// one monitor-mode check that can only end by hearing nothing for 0.5 s.
double Floor(const RunFigures &run, bool paced) {
  const double lineSeconds = paced ? run.Bytes * 10.0 / 9600.0 : 0;
  return lineSeconds + run.Paused + run.AddedDelayMs / 1000.0 + 0.5;
}

// The same upload through calvenori-upload, its prompts answered by the
// simulator's ctl; timed from the start of the process to its exit. Its
// pauses are the window's (`paused`): the same steps make them.
RunFigures RunCommandLine(const QString &program, const QString &parameters, double paused, bool paced = true,
                          bool windows = false) {
  RunFigures run;
  sim::SimulatedController controller(sim::Dialect::E);
  controller.SetPaced(paced);
  sim::ControlChannel control;
  QTemporaryDir dir;
  QString error;
  if (!controller.Start(&error) || !control.Start(controller, dir.filePath("ctl"), &error)) {
    run.LastMessage = "simulator: " + error;
    return run;
  }
  const QString sim = QStringLiteral(CALVENORI_SIM_PROGRAM);
  QString executable = QStringLiteral(CALVENORI_UPLOAD_PROGRAM);
  QStringList args{"--port", controller.SlavePath(), "--program", program, "--params", parameters,
                   "--actions", sim + " ctl " + dir.filePath("ctl")};
  QProcess upload;
  if (windows) {
    // Wine's COM9 is the simulator's pseudo-terminal: the prefix's COM ports
    // are links beside it (tests/wine/make-prefix.sh).
    const QString link = qEnvironmentVariable("WINEPREFIX") + "/../lines/com9";
    QFile::remove(link);
    QFile::link(controller.SlavePath(), link);
    args = QStringList{qEnvironmentVariable("CALVENORI_WINDOWS_BUILD") + "/src/calvenori-upload.exe",
                       "--port", "COM9", "--program", sim::WindowsPath(program), "--params",
                       sim::WindowsPath(parameters), "--actions", sim::WriteWineHands(dir.path(), sim, dir.filePath("ctl"))};
    executable = QStringLiteral("wine");
  }
  upload.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  upload.setStandardOutputFile(QProcess::nullDevice());
  upload.setWorkingDirectory(dir.path());
  QElapsedTimer wall;
  wall.start();
  upload.start(executable, args);
  upload.waitForFinished(-1);
  run.WallAtSuccess = wall.nsecsElapsed() / 1e9;
  // Under Wine a crashed program exits 0 too: the locked controller says it ended.
  run.Succeeded = upload.exitStatus() == QProcess::NormalExit && upload.exitCode() == 0 && controller.Locked();
  run.LastMessage = QStringLiteral("exit status %1").arg(upload.exitCode());
  run.Paused = paused;
  run.Bytes = controller.BytesSent() + controller.BytesReceived();
  run.AddedDelayMs = controller.AddedDelayMs();
  return run;
}

// --wine: the Windows program under Wine and the native one, both unpaced.
int BenchWine(const QString &program, const QString &parameters) {
  const RunFigures window = RunUpload(program, parameters, false, sim::LineDelivery());
  const RunFigures native = RunCommandLine(program, parameters, window.Paused, false);
  const RunFigures wine = RunCommandLine(program, parameters, window.Paused, false, true);
  if (!window.Succeeded || !native.Succeeded || !wine.Succeeded) {
    std::fprintf(stderr, "an upload did not succeed: window %s, native %s, wine %s\n", qPrintable(window.LastMessage),
                 qPrintable(native.LastMessage), qPrintable(wine.LastMessage));
    return 1;
  }
  std::printf("mode unpaced_wine\n");
  std::printf("wine_upload_wall_s %.3f\n", wine.WallAtSuccess);
  std::printf("wine_wire_limit_s %.3f\n", Floor(wine, false));
  std::printf("wine_overhead_ratio %.4f\n", wine.WallAtSuccess / Floor(wine, false));
  std::printf("native_unpaced_cli_wall_s %.3f\n", native.WallAtSuccess);
  std::printf("native_unpaced_cli_overhead_ratio %.4f\n", native.WallAtSuccess / Floor(native, false));
  return 0;
}

// What the journal adds to one upload, timed on its own and averaged: the
// pre-flight check, the checksums of both files and the checked append.
double JournalSeconds(const QString &program, const QString &parameters, const QString &journal) {
  constexpr int Rounds = 20;
  JournalEntry entry;
  entry.Mode = "full";
  entry.ParameterList = parameters;
  entry.ProgramFile = program;
  entry.Outcome = "uploaded";
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < Rounds; ++i) {
    entry.Started = entry.Ended = QDateTime::currentDateTime();
    entry.ParameterListSha256 = FileSha256(parameters);
    entry.ProgramFileSha256 = FileSha256(program);
    Verdict written = JournalUsable(journal);
    if (written) written = AppendToJournal(journal, entry);
    if (!written) {
      std::fprintf(stderr, "the journal could not be written: %s\n", qPrintable(written.Why));
      return -1;
    }
  }
  return timer.nsecsElapsed() / 1e9 / Rounds;
}

}  // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const bool soak = args.contains("--soak");
  const int soakRecords = soak && args.size() > args.indexOf("--soak") + 1
                              ? args[args.indexOf("--soak") + 1].toInt()
                              : 100000;

  const QString source = QString::fromLocal8Bit(CALVENORI_SOURCE_DIR);
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  const QString program = soak ? WriteSoakFile(work.path(), soakRecords > 0 ? soakRecords : 100000)
                               : source + "/examples/pump-controller-v1.5.s19";
  const QString parameters = source + "/examples/pump-parameters.txt";
  if (args.contains("--wine")) return BenchWine(program, parameters);

  const RunFigures run = RunUpload(program, parameters, !soak, sim::LineDelivery());
  if (!run.Succeeded) {
    std::fprintf(stderr, "the upload did not succeed; last message: %s\n", qPrintable(run.LastMessage));
    return 1;
  }

  const double floor = Floor(run, !soak);

  std::printf("mode %s\n", soak ? "soak_unpaced" : "paced_9600");
  std::printf("program_records %d\n", soak ? soakRecords : -1);
  std::printf("bytes_on_line %lld\n", static_cast<long long>(run.Bytes));
  std::printf("fixed_pauses_s %.3f\n", run.Paused);
  std::printf("upload_wall_s %.3f\n", run.WallAtSuccess);
  std::printf("wire_limit_s %.3f\n", floor);
  std::printf("overhead_ratio %.4f\n", run.WallAtSuccess / floor);
  std::printf("settle_wait_s %.3f\n", run.SettledSeconds);
  std::printf("learned_gap_ms %.2f\n", run.LearnedGapMs);
  std::printf("cpu_fraction %.4f\n", run.Cpu / run.WallAtSuccess);
  std::printf("tool_thread_cpu_fraction %.4f\n", run.ToolCpu / run.WallAtSuccess);
  std::printf("peak_rss_mb %.1f\n", PeakResidentMb());
  for (const auto &[caption, at] : run.Steps)
    std::fprintf(stderr, "%8.3f s  %s\n", at, qPrintable(caption));
  if (soak) {
    std::printf("rss_start_mb %.1f\n", run.RssStart);
    std::printf("rss_end_mb %.1f\n", ResidentMb());
    return 0;
  }

  // Right after it, so that both meet the machine alike: a monitor that echoes
  // an erase at once and answers "Erased" 300 ms later. That pause is the
  // controller's work, and the read-backs must not wait it out.
  sim::Faults slowErase;
  slowErase.EraseWorkMs = 300;
  const RunFigures slow = RunUpload(program, parameters, true, sim::LineDelivery(), {}, slowErase);
  if (!slow.Succeeded) {
    std::fprintf(stderr, "the upload with slow erases did not succeed; last message: %s\n",
                 qPrintable(slow.LastMessage));
    return 1;
  }
  std::printf("readback_settle_ms %.3f\n", run.ReadBackSettleMs);
  std::printf("slow_erase_readback_settle_ms %.3f\n", slow.ReadBackSettleMs);
  std::printf("slow_erase_learned_gap_ms %.2f\n", slow.LearnedGapMs);

  // The same upload through a USB converter: bursts on a 16 ms timer.
  sim::LineDelivery usb;
  usb.Kind = sim::DeliveryKind::UsbConverter;
  usb.LatencyMs = 16;
  const RunFigures usbRun = RunUpload(program, parameters, true, usb);
  if (!usbRun.Succeeded) {
    std::fprintf(stderr, "the upload through the USB converter did not succeed; last message: %s\n",
                 qPrintable(usbRun.LastMessage));
    return 1;
  }
  std::printf("usb16_upload_wall_s %.3f\n", usbRun.WallAtSuccess);
  std::printf("usb16_settle_wait_s %.3f\n", usbRun.SettledSeconds);
  std::printf("usb16_settle_fraction %.4f\n", usbRun.SettledSeconds / usbRun.WallAtSuccess);
  std::printf("usb16_learned_gap_ms %.2f\n", usbRun.LearnedGapMs);

  // What the wire trace costs: the traced run's overhead over the plain one's.
  const RunFigures traced = RunUpload(program, parameters, true, sim::LineDelivery(), work.filePath("wire.trace"));
  if (!traced.Succeeded) {
    std::fprintf(stderr, "the traced upload did not succeed; last message: %s\n", qPrintable(traced.LastMessage));
    return 1;
  }
  std::printf("traced_upload_wall_s %.3f\n", traced.WallAtSuccess);
  std::printf("trace_bytes %lld\n", static_cast<long long>(QFileInfo(work.filePath("wire.trace")).size()));
  std::printf("trace_overhead_ratio %.4f\n", (traced.WallAtSuccess / Floor(traced, true)) / (run.WallAtSuccess / floor));

  const RunFigures cli = RunCommandLine(program, parameters, run.Paused);
  if (!cli.Succeeded) {
    std::fprintf(stderr, "the command-line upload did not succeed: %s\n", qPrintable(cli.LastMessage));
    return 1;
  }
  std::printf("cli_upload_wall_s %.3f\n", cli.WallAtSuccess);
  std::printf("cli_overhead_ratio %.4f\n", cli.WallAtSuccess / Floor(cli, true));

  // Counted as added to the plain upload's time, whatever part of it overlaps.
  const double journal = JournalSeconds(program, parameters, work.filePath("journal-cost.csv"));
  if (journal < 0) return 1;
  QFile written(work.filePath(JournalFileName));
  const qsizetype lines = written.open(QIODevice::ReadOnly) ? written.readAll().count("\r\n") - 1 : -1;
  std::printf("journal_lines_written %lld\n", static_cast<long long>(lines));
  std::printf("journal_ms_per_upload %.3f\n", journal * 1000);
  std::printf("journal_overhead_ratio %.5f\n", (run.WallAtSuccess + journal) / run.WallAtSuccess);

  return 0;
}
