// Seeded uploads, Check Errors on, through a noisy line to the simulated
// controller: how many complete, whether a completed one ever left other
// parameter memory, windows, lock or CRC than a clean line does (it must not),
// how often its flash differs all the same (the boot monitor's blind spot),
// and the wall time against a clean upload. Seed k of a rate is the same run
// every time.
//   build/default/bench/bench_noisy_line [--runs N] [--rates 1e-4,1e-3,1e-2] [--mode full|list]
//     [--model default|letters] [--seed K] [--trace FILE] [--events]
// --seed: that seed alone; --trace: the port's trace of the last noisy run;
// --events: each run's noise events and wrongly taken records, on stderr.
#include "ControllerLine.h"
#include "IdWindows.h"
#include "SRecord.h"
#include "SimulatedController.h"
#include "Technician.h"
#include "UploadDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <optional>

namespace {

// What an upload leaves in the controller.
struct Memory {
  std::map<quint16, quint8> Eeprom;
  QList<QByteArray> Windows;
  bool Locked = false;
  std::optional<quint32> Crc;
  std::map<quint32, quint8> Flash;
};

Memory MemoryOf(const sim::SimulatedController &controller) {
  Memory m{controller.ParameterMemory(), {}, controller.Locked(), controller.LastCrc(), controller.Flash()};
  for (const IdWindow &row : BlankBackup()) m.Windows << controller.Window(row.Win);
  return m;
}

// What Check Errors answers for, all but the flash (no read shows it); empty when the same.
QString Differences(const Memory &a, const Memory &b) {
  QStringList parts;
  if (a.Eeprom != b.Eeprom) parts << "parameter memory";
  if (a.Windows != b.Windows) parts << "windows";
  if (a.Locked != b.Locked) parts << "lock";
  if (a.Crc != b.Crc) parts << "CRC";
  return parts.join(", ");
}

struct Setup {
  bool Full = true;
  sim::Faults Model;
  QString Program, List, Trace;
  QSet<QByteArray> Records;  // the program file's, in upper case
};

// The driver's host: each prompt followed by the simulated technician's
// hands, the restore dialog sent as the backup has it, fixed pauses counted
// and not slept (the simulator answers at once, so none is needed).
class BenchHost : public UploadHost {
 public:
  BenchHost(sim::SimulatedController &controller, const Setup &setup) : controller_(controller), setup_(setup) {
    port_.SetSettings(ControllerLineSettings);
  }
  QString LastMessage;
  double Paused = 0;

  SerialPort &Port() override { return port_; }
  bool CheckErrors() const override { return true; }
  QString ParameterFile() const override { return setup_.List; }
  QString ProgramFile() const override { return setup_.Full ? setup_.Program : QString(); }
  UploadKind UploadMode() const override { return setup_.Full ? UploadKind::Full : UploadKind::ParameterList; }
  int ComPort() const override { return 1; }
  void Message(const QString &text) override {
    LastMessage = text;
    Technician::FollowPrompt(controller_, text);
  }
  PromptAnswer ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &) override {
    IdWindowTexts texts;
    for (int i = 0; i < IdWindowCount; ++i) texts[i] = rows[i].Value;
    write(texts);
    return PromptAnswer::Continue;
  }
  void SetStep(Step) override {}
  void SetProgressMin(int) override {}
  void SetProgressMax(int) override {}
  void SetProgressValue(int v) override { progress_ = v; }
  int ProgressValue() const override { return progress_; }
  void Repaint() override {}
  void Wait(double seconds) override { Paused += seconds; }
  void UploadStarted() override {}
  void UploadEnded() override {}
  void SetBusy(bool) override {}

 private:
  sim::SimulatedController &controller_;
  const Setup &setup_;
  SerialPort port_;
  int progress_ = 0;
};

struct Run {
  bool Completed = false;
  Memory After;
  double Wall = 0, Paused = 0;
  int BlindSpots = 0, Strays = 0, ParameterBlindSpots = 0;
  QList<QByteArray> WrongRecords;  // taken by the monitor (checksum right), in no case in the file
  QString LastMessage;
  QList<sim::NoiseEvent> Events;
};

QList<QByteArray> WrongRecords(const QList<QByteArray> &commands, const QSet<QByteArray> &records) {
  QList<QByteArray> wrong;
  for (const QByteArray &c : commands)
    if (sim::ParseSRecord(c) && !records.contains(c.toUpper())) wrong << c;
  return wrong;
}

// One upload against a fresh controller, in a fresh working folder (no
// journal of an earlier run's unfinished upload to offer).
Run Upload(const Setup &setup, const sim::LineNoise &noise) {
  Run run;
  QTemporaryDir folder;
  QDir::setCurrent(folder.path());
  sim::SimulatedController controller;
  controller.SetFaults(setup.Model);
  controller.SetNoise(noise);
  QString error;
  if (!controller.Start(&error)) {
    run.LastMessage = "simulator: " + error;
    return run;
  }
  qputenv("CALVENORI_PORTS", controller.SlavePath().toLocal8Bit());
  BenchHost host(controller, setup);
  if (!setup.Trace.isEmpty()) QFile::remove(setup.Trace);  // the port adds to it
  host.Port().SetTraceFile(setup.Trace);
  QElapsedTimer wall;
  wall.start();
  run.Completed = StartUpload(host, QDir(folder.path())) == UploadResult::Uploaded;
  run.Wall = wall.nsecsElapsed() / 1e9;
  run.Paused = host.Paused;
  run.LastMessage = host.LastMessage;
  run.After = MemoryOf(controller);
  run.BlindSpots = controller.BlindSpotHits();
  run.Strays = controller.StrayCommands();
  run.ParameterBlindSpots = controller.ParameterBlindSpotHits();
  run.WrongRecords = WrongRecords(controller.MonitorCommands(), setup.Records);
  run.Events = controller.NoiseEvents();
  return run;
}

// What noise did in one run, for --events.
void PrintEvents(quint32 seed, const Run &run) {
  std::fprintf(stderr, "seed %u: blind spots %d, stray commands %d, parameter blind spots %d; said: %s\n", seed,
               run.BlindSpots, run.Strays, run.ParameterBlindSpots, qPrintable(QString(run.LastMessage).replace('\r', '\n')));
  for (const sim::NoiseEvent &e : run.Events)
    std::fprintf(stderr, "seed %u %s #%lld %s %02X -> %02X\n", seed, e.Dir == sim::NoiseEvent::ToController ? "to-ctl" : "to-tool",
                 static_cast<long long>(e.Index), e.What == sim::NoiseEvent::Lost ? "lost" : "flipped", e.Before, e.After);
  for (const QByteArray &r : run.WrongRecords) std::fprintf(stderr, "seed %u taken, never sent: %s\n", seed, r.constData());
}

QSet<QByteArray> ProgramRecords(const QString &path) {
  QFile file(path);
  QSet<QByteArray> records;
  if (file.open(QIODevice::ReadOnly))
    for (const QByteArray &line : file.readAll().split('\n'))
      if (line.startsWith('S')) records << line.trimmed().toUpper();
  return records;
}

struct Tally {
  int Runs = 0, Completed = 0, WrongOnSuccess = 0, FlashDiffers = 0, BlindSpot = 0, Strays = 0, ParamBlind = 0;
  int WrongRecords = 0;
  double Wall = 0;
  QMap<QString, QList<quint32>> Failed;  // by the failure's first line
  QStringList Wrong;                      // seed: what differs
};

void Count(Tally &t, const Run &run, const Memory &clean, quint32 seed) {
  ++t.Runs;
  t.Wall += run.Wall;
  t.BlindSpot += run.BlindSpots > 0;
  t.Strays += run.Strays > 0;
  t.ParamBlind += run.ParameterBlindSpots > 0;
  t.WrongRecords += int(run.WrongRecords.size());
  if (!run.Completed) {
    t.Failed[run.LastMessage.section(QRegularExpression("[\r\n]"), 0, 0)] << seed;
    return;
  }
  ++t.Completed;
  const QString differs = Differences(run.After, clean);
  if (!differs.isEmpty()) t.Wrong << QString("%1 (%2)").arg(seed).arg(differs);
  t.WrongOnSuccess += !differs.isEmpty();
  t.FlashDiffers += run.After.Flash != clean.Flash;
}

double Share(int part, int whole) { return whole > 0 ? double(part) / whole : 0; }

void PrintLine(const char *model, const Setup &setup, double rate, const Tally &t, const Run &clean) {
  // The checksum covers count, address and data but not the type digit: a
  // byte is flipped with probability about rate/2, and of the eight bits of
  // "1" four give a type the monitor acknowledges (0, 3, 5, 9), so each
  // record sent is taken wrong with odds of about rate/4.
  const double odds = setup.Full ? setup.Records.size() * rate / 4 : 0;
  const double wall = t.Runs ? t.Wall / t.Runs : 0;
  std::printf("%-7s %-4s %-6g %4d %9.3f %16.3f %10.3f %10.3f %10.3f %9.3f %6.3f %11.3f %11.2f %7.1f\n", model,
              setup.Full ? "full" : "list", rate, t.Runs, Share(t.Completed, t.Runs), Share(t.WrongOnSuccess, t.Completed),
              Share(t.FlashDiffers, t.Completed), Share(t.BlindSpot, t.Runs), odds,
              t.Runs ? double(t.WrongRecords) / t.Runs : 0, Share(t.Strays, t.Runs), Share(t.ParamBlind, t.Runs), wall,
              wall / clean.Wall);
  for (const QString &s : t.Wrong) std::printf("  WRONG MEMORY ON SUCCESS, seed %s\n", qPrintable(s));
  for (auto it = t.Failed.cbegin(); it != t.Failed.cend(); ++it) {
    QStringList seeds;
    for (quint32 s : it.value()) seeds << QString::number(s);
    std::printf("  not completed, \"%s\": seeds %s\n", qPrintable(it.key()), qPrintable(seeds.join(' ')));
  }
  std::fflush(stdout);
}

void PrintHeader(const QString &model, int records) {
  std::printf("# unpaced simulated line, Check Errors on, model %s, %d program records; the host's fixed pauses\n"
              "# are counted, not slept (they cost nothing): wall time is the line's and the tool's. Shares of the\n"
              "# runs; wrong_on_success and flash_diff of the completed ones. blind_spot: the simulator counted an\n"
              "# S-record struck but acknowledged (a hex letter's case flip too, which writes the same bytes);\n"
              "# blind_odds = records x rate/4 and wrong_rec, measured: records taken wrong per upload. stray,\n"
              "# param_blind: a monitor acted on a command it was not sent.\n",
              qPrintable(model), records);
  std::printf("%-7s %-4s %-6s %4s %9s %16s %10s %10s %10s %9s %6s %11s %11s %7s\n", "model", "mode", "rate", "runs",
              "completed", "wrong_on_success", "flash_diff", "blind_spot", "blind_odds", "wrong_rec", "stray",
              "param_blind", "mean_wall_s", "x_clean");
}

QString Option(const QStringList &args, const QString &name, const QString &fallback) {
  const qsizetype at = args.indexOf(name);
  return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

QList<double> Rates(const QString &text) {
  QList<double> rates;
  for (const QString &r : text.split(',', Qt::SkipEmptyParts)) rates << r.toDouble();
  return rates;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int runs = Option(args, "--runs", "50").toInt();
  const QString mode = Option(args, "--mode", "both");
  const QString model = Option(args, "--model", "default");
  const quint32 onlySeed = Option(args, "--seed", "0").toUInt();
  const bool events = args.contains("--events");
  const QString source = QString::fromLocal8Bit(CALVENORI_SOURCE_DIR);
  Setup setup;
  setup.Model.LettersInProgramming = model == "letters";
  setup.Program = source + "/examples/pump-controller-v1.5.s19";
  setup.List = source + "/examples/pump-parameters.txt";
  setup.Records = ProgramRecords(setup.Program);
  PrintHeader(model, int(setup.Records.size()));
  for (const bool full : {true, false}) {
    if (mode != "both" && (mode == "full") != full) continue;
    setup.Full = full;
    setup.Trace.clear();
    const Run clean = Upload(setup, {});
    if (!clean.Completed) {
      std::fprintf(stderr, "the clean upload did not complete: %s\n", qPrintable(clean.LastMessage));
      return 1;
    }
    std::printf("# clean %s upload: %.3f s wall, %.1f s of pauses not slept\n", full ? "full" : "list", clean.Wall,
                clean.Paused);
    setup.Trace = Option(args, "--trace", {});
    for (const double rate : Rates(Option(args, "--rates", "1e-4,1e-3,1e-2"))) {
      Tally tally;
      for (quint32 seed = 1; seed <= quint32(runs); ++seed) {
        if (onlySeed && seed != onlySeed) continue;
        const Run run = Upload(setup, {rate, seed});
        if (events) PrintEvents(seed, run);
        Count(tally, run, clean.After, seed);
      }
      PrintLine(qPrintable(model), setup, rate, tally, clean);
    }
  }
  return 0;
}
