// calvenori-sim: a simulated pump controller on a pseudo-terminal, or on a
// serial port (--device).
//
//   calvenori-sim [--dialect E|Er] [--paced] [--delivery even|usb[:MS]|fifo] [--mode app|boot|param]
//                 [--read-back FORM] [--record-ack FORM] [--erase-ms MS] [--noise RATE[:SEED]]
//                 [--control SOCKET] [--link PATH | --device PORT]
//   calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle|unplug MS
//
// --delivery usb or fifo shapes the paced line like a USB converter (latency
// timer MS, default 16) or a UART's FIFO, and implies --paced. --read-back
// picks the form of the parameter monitor's answer to "R", --record-ack that
// of the boot monitor's "*", --erase-ms the time an erase takes, --noise the
// odds of a lost or garbled byte (see --help).
//
// Prints the device path the uploader should open (one line; with --device
// the port it serves) and runs until SIGINT, SIGTERM or the end of its
// standard input when that is a pipe, or a terminal it is in the foreground
// of (so a parent that dies takes the simulator with it; a job in the
// background of an interactive shell, or with stdin on /dev/null, keeps
// running until signalled). On Windows: until Ctrl+C, or the end of its
// standard input when that is a pipe.

#include "ControlChannel.h"
#include "SimulatedController.h"

#include <QByteArray>
#include <QCoreApplication>

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested = true; }

const char *const HelpText =
    "Usage: calvenori-sim [OPTION]...\n"
    "  or:  calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle|unplug MS\n"
    "A simulated Quorvel Calvenori pump controller on a pseudo-terminal or a serial\n"
    "port, for training and bench checks. Prints the device path the uploader should\n"
    "open (with --device: the port it serves), then runs until SIGINT or SIGTERM\n"
    "(Ctrl+C), or until its standard input ends when that is a pipe or the terminal\n"
    "it runs in the foreground of (Ctrl-D). Started in the background\n"
    "(calvenori-sim ... &) it reads no terminal and runs until killed.\n"
    "\n"
    "Options:\n"
    "  --dialect E|Er     the boot monitor's dialect (default: E)\n"
    "  --paced            deliver bytes at the pace of a 9600 baud line\n"
    "  --delivery even|usb[:MS]|fifo\n"
    "                     shape the paced line like a USB converter (latency timer\n"
    "                     MS, default 16) or a UART's FIFO; implies --paced\n"
    "  --mode app|boot|param\n"
    "                     what the controller runs at start (default: app)\n"
    "  --read-back FORM   how the parameter monitor answers a read-back, the byte 2C\n"
    "                     for example: plain (2C CR, the default), lower (2c CR),\n"
    "                     crlf (2C CR LF), line-end-first (CR LF 2C CR LF),\n"
    "                     blanks (' 2C ' CR LF), echo (R0105 CR LF 2C CR LF) or\n"
    "                     echo-same-line (R0105 2C CR LF)\n"
    "  --record-ack star|star-crlf\n"
    "                     how the boot monitor acknowledges an S-record: * alone\n"
    "                     (the default) or * CR LF\n"
    "  --erase-ms MS      the boot monitor echoes an erase command with CR LF at\n"
    "                     once and answers Erased after MS milliseconds of work\n"
    "                     (default 0: the whole answer at once)\n"
    "  --noise RATE[:SEED]\n"
    "                     a noisy line: each byte, either way, is lost or has one\n"
    "                     bit flipped with the odds RATE (0.001 or 1/1000, half of\n"
    "                     each), drawn from the seed SEED (default 1), so that the\n"
    "                     same upload meets the same faults on every run\n"
    "  --control SOCKET   take commands on the local socket SOCKET (on Windows the\n"
    "                     named pipe \\\\.\\pipe\\SOCKET), so that a bench script can\n"
    "                     switch the simulated controller:\n"
    "                     calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle\n"
    "                     switches it off and on (the bridge set, removed or left);\n"
    "                     calvenori-sim ctl SOCKET unplug MS pulls its line out for\n"
    "                     MS milliseconds, the controller keeping its power: a new\n"
    "                     pseudo-terminal comes back behind the --link (not with\n"
    "                     --device, whose adapter only a hand can pull)\n"
    "  --link PATH        also make PATH a symbolic link to the device, so that a\n"
    "                     session can name a port that stays the same from run to\n"
    "                     run and across an unplug (removed at exit; not on\n"
    "                     Windows)\n"
    "  --device PORT      serve the serial port PORT (/dev/ttyUSB0, COM5) instead of\n"
    "                     a pseudo-terminal: another adapter joined to the\n"
    "                     uploader's by a null-modem cable, or one end of a virtual\n"
    "                     null-modem pair (com0com on Windows; on Linux, for\n"
    "                     example, socat -d -d pty,raw,echo=0 pty,raw,echo=0).\n"
    "                     Required on Windows, which has no pseudo-terminals\n"
    "  -h, --help         display this help and exit\n"
    "  -v, --version      output version information and exit\n"
    "\n"
#ifdef _WIN32
    "A parameter list and a program file to try it with are in the folder examples\n"
    "of the installation, beside the folder bin of the programs. For example, with\n"
    "the pair COM5 and COM6, from a folder of your own (the upload writes its backup\n"
    "there), with the folder bin on the PATH and K the installation's folder:\n"
    "  start calvenori-sim --device COM5 --control calvenori-ctl\n"
    "  calvenori-upload --port COM6 --params K\\examples\\pump-parameters.txt\n"
    "      --program K\\examples\\pump-controller-v1.5.s19\n"
    "      --actions \"calvenori-sim ctl calvenori-ctl\" --restore keep\n";
#else
    "A parameter list and a program file to try it with are in\n"
    "  " CALVENORI_EXAMPLES "/\n"
    "For example, in a folder of your own (the upload writes its backup there):\n"
    "  calvenori-sim --control /tmp/calvenori-ctl --link /tmp/calvenori-pump &\n"
    "  calvenori-upload --port /tmp/calvenori-pump \\\n"
    "      --params " CALVENORI_EXAMPLES "/pump-parameters.txt \\\n"
    "      --program " CALVENORI_EXAMPLES "/pump-controller-v1.5.s19 \\\n"
    "      --actions 'calvenori-sim ctl /tmp/calvenori-ctl' --restore keep\n"
    "  kill %1\n";
#endif

// --help and --version, answered before anything starts; -1 when neither.
int AnswerHelpOrVersion(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
      return std::fputs(HelpText, stdout) < 0;
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0)
      return std::printf("calvenori-sim %s\n", CALVENORI_VERSION) < 0;
  }
  return -1;
}

int Usage(const char *program) {
  std::fprintf(stderr,
               "usage: %s [--dialect E|Er] [--paced] [--delivery even|usb[:MS]|fifo] [--mode app|boot|param]"
               " [--read-back FORM] [--record-ack star|star-crlf] [--erase-ms MS] [--noise RATE[:SEED]]"
               " [--control SOCKET] [--link PATH | --device PORT]\n"
               "       %s ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle|unplug MS\n",
               program, program);
  return 2;
}

// The client side of --control: what a bench script's actions hook runs.
// The words after SOCKET are the command ("unplug 5000").
int Control(int argc, char **argv) {
  QByteArray command = argv[3];
  for (int i = 4; i < argc; ++i) command += ' ' + QByteArray(argv[i]);
  QString error;
  if (sim::SendControlCommand(QString::fromLocal8Bit(argv[2]), command, &error)) return 0;
  std::fprintf(stderr, "calvenori-sim ctl: %s\n", error.toLocal8Bit().constData());
  return 1;
}

struct Options {
  sim::Dialect Dialect = sim::Dialect::E;
  sim::Mode Mode = sim::Mode::Application;
  bool Paced = false;
  sim::LineDelivery Delivery;
  sim::LineNoise Noise;
  sim::Faults Faults;
  const char *ControlSocket = nullptr;
  const char *Link = nullptr;
  const char *Device = nullptr;
};

bool ParseMode(const char *text, sim::Mode &mode) {
  if (std::strcmp(text, "app") == 0)
    mode = sim::Mode::Application;
  else if (std::strcmp(text, "boot") == 0)
    mode = sim::Mode::BootMonitor;
  else if (std::strcmp(text, "param") == 0)
    mode = sim::Mode::ParameterMonitor;
  else
    return false;
  return true;
}

bool ParseDialect(const char *text, sim::Dialect &dialect) {
  for (const sim::DialectRow &row : sim::DialectRows())
    if (std::strcmp(text, row.Name) == 0 || QByteArray(text) == QByteArray(row.Prompt).mid(7, 3).trimmed()) {
      dialect = row.Which;
      return true;
    }
  return false;
}

// One option with its value; false when either is unknown or wrong.
bool TakeValue(Options &o, const char *option, const char *value) {
  if (std::strcmp(option, "--delivery") == 0) {
    if (!sim::ParseDelivery(QString::fromLocal8Bit(value), o.Delivery)) return false;
    if (o.Delivery.Kind != sim::DeliveryKind::Even) o.Paced = true;
    return true;
  }
  if (std::strcmp(option, "--noise") == 0) return sim::ParseNoise(QString::fromLocal8Bit(value), o.Noise);
  if (std::strcmp(option, "--dialect") == 0) return ParseDialect(value, o.Dialect);
  if (std::strcmp(option, "--mode") == 0) return ParseMode(value, o.Mode);
  if (std::strcmp(option, "--read-back") == 0) return sim::ParseReadBackForm(value, o.Faults.ReadBack);
  if (std::strcmp(option, "--record-ack") == 0) return sim::ParseRecordAck(value, o.Faults.RecordAck);
  if (std::strcmp(option, "--erase-ms") == 0) {
    bool ok = false;
    o.Faults.EraseWorkMs = QByteArray(value).toInt(&ok);
    return ok && o.Faults.EraseWorkMs >= 0 && o.Faults.EraseWorkMs <= 60000;
  }
  for (auto [name, field] : {std::pair{"--control", &o.ControlSocket}, {"--link", &o.Link}, {"--device", &o.Device}})
    if (std::strcmp(option, name) == 0) return (*field = value), true;
  return false;
}

bool ParseOptions(int argc, char **argv, Options &o) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--paced") == 0) {
      o.Paced = true;
    } else if (i + 1 >= argc || !TakeValue(o, argv[i], argv[i + 1])) {
      return false;
    } else {
      ++i;
    }
  }
#ifdef _WIN32
  return !o.Link;  // no symbolic links to hand out on Windows
#else
  return !(o.Device && o.Link);
#endif
}

#ifdef _WIN32

void CatchStopSignals() {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
}

// Until Ctrl+C, or the end of standard input when that is a pipe.
void RunUntilStopped(const sim::SimulatedController &controller) {
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  if (::GetFileType(in) == FILE_TYPE_PIPE) {
    std::thread([in] {
      char buffer[256];
      DWORD n = 0;
      while (::ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n > 0) {
      }
      stopRequested = true;
    }).detach();
  }
  while (!stopRequested && controller.Running()) ::Sleep(200);  // no unplug on a serial port
}

#else

void CatchStopSignals() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A background job is never stopped for its terminal: a read then fails
  // (and is not tried, see below), and the device path is printed even with
  // "stty tostop".
  signal(SIGTTIN, SIG_IGN);
  signal(SIGTTOU, SIG_IGN);
}

// Until a signal or the end of stdin (a closed pipe ends the simulator too).
// A terminal is read only while this process is in its foreground: in the
// background it would take the keys typed at the shell.
void RunUntilStopped(const sim::SimulatedController &controller) {
  struct stat in;
  const bool terminal = isatty(STDIN_FILENO);
  bool stdinOpen = terminal || (fstat(STDIN_FILENO, &in) == 0 && (S_ISFIFO(in.st_mode) || S_ISSOCK(in.st_mode)));
  while (!stopRequested && !controller.LineGone()) {
    const bool ours = stdinOpen && (!terminal || tcgetpgrp(STDIN_FILENO) == getpgrp());
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&fd, ours ? 1 : 0, 200);
    if (ready > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR))) {
      char buffer[256];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0) break;  // EOF
      // EIO: the job went to the background meanwhile.
      if (n < 0 && errno != EINTR && !(terminal && errno == EIO)) stdinOpen = false;
    }
  }
}

#endif

bool StartController(sim::SimulatedController &controller, const Options &o) {
  controller.SetPaced(o.Paced);
  controller.SetDelivery(o.Delivery);
  controller.SetNoise(o.Noise);
  controller.SetFaults(o.Faults);
  if (o.Mode == sim::Mode::BootMonitor) controller.SetBridge(true);
  controller.SetMode(o.Mode);
  if (o.Device) controller.SetDevice(QString::fromLocal8Bit(o.Device));
  QString error;
  if (controller.Start(&error) && (!o.Link || controller.SetLink(QString::fromLocal8Bit(o.Link), &error))) return true;
  std::fprintf(stderr, "calvenori-sim: %s\n", error.toLocal8Bit().constData());
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  if (const int answered = AnswerHelpOrVersion(argc, argv); answered >= 0) return answered;
  if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) return argc >= 4 ? Control(argc, argv) : Usage(argv[0]);
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage(argv[0]);
#ifdef _WIN32
  if (!options.Device) {
    std::fputs("calvenori-sim: Windows has no pseudo-terminals: name the serial port to serve with"
               " --device COMn (one end of a com0com pair, or an adapter with a null-modem cable)\n",
               stderr);
    return 2;
  }
#endif
  CatchStopSignals();
  QCoreApplication app(argc, argv);  // the serial port's thread needs one

  sim::SimulatedController controller(options.Dialect);
  if (!StartController(controller, options)) return 1;
  sim::ControlChannel control;
  QString error;
  if (options.ControlSocket && !control.Start(controller, QString::fromLocal8Bit(options.ControlSocket), &error)) {
    std::fprintf(stderr, "calvenori-sim: %s\n", error.toLocal8Bit().constData());
    return 1;
  }
  const QByteArray device = controller.SlavePath().toLocal8Bit();
  std::printf("%s\n", device.constData());
  std::fflush(stdout);
  RunUntilStopped(controller);
  if (stopRequested || !controller.LineGone()) return 0;
  std::fprintf(stderr, "calvenori-sim: the line on %s went away\n", device.constData());
  return 1;
}
