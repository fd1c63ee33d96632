// calvenori-sim: a simulated pump controller on a pseudo-terminal.
//
//   calvenori-sim [--dialect E|Er] [--paced] [--delivery even|usb[:MS]|fifo] [--mode app|boot|param]
//                 [--read-back FORM] [--record-ack FORM] [--erase-ms MS] [--control SOCKET] [--link PATH]
//   calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle
//
// --delivery usb or fifo shapes the paced line like a USB converter (latency
// timer MS, default 16) or a UART's FIFO, and implies --paced. --read-back
// picks the form of the parameter monitor's answer to "R", --record-ack that
// of the boot monitor's "*", --erase-ms the time an erase takes (see --help).
//
// Prints the device path the uploader should open (one line) and runs until
// SIGINT, SIGTERM or the end of its standard input when that is a pipe, or a
// terminal it is in the foreground of (so a parent that dies takes the
// simulator with it; a job in the background of an interactive shell, or with
// stdin on /dev/null, keeps running until signalled).

#include "ControlChannel.h"
#include "SimulatedController.h"

#include <QByteArray>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnSignal(int) { stopRequested = 1; }

const char *const HelpText =
    "Usage: calvenori-sim [OPTION]...\n"
    "  or:  calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle\n"
    "A simulated Quorvel Calvenori pump controller on a pseudo-terminal, for training\n"
    "and bench checks. Prints the device path the uploader should open, then runs\n"
    "until SIGINT or SIGTERM, or until its standard input ends when that is a pipe\n"
    "or the terminal it runs in the foreground of (Ctrl-D). Started in the\n"
    "background (calvenori-sim ... &) it reads no terminal and runs until killed.\n"
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
    "  --control SOCKET   take commands on the local socket SOCKET, so that a\n"
    "                     bench script can switch the simulated controller:\n"
    "                     calvenori-sim ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle\n"
    "                     switches it off and on (the bridge set, removed or left)\n"
    "  --link PATH        also make PATH a symbolic link to the device, so that a\n"
    "                     session can name a port that stays the same from run to\n"
    "                     run (removed at exit)\n"
    "  -h, --help         display this help and exit\n"
    "  -v, --version      output version information and exit\n"
    "\n"
    "A parameter list and a program file to try it with are in\n"
    "  " CALVENORI_EXAMPLES "/\n"
    "For example, in a folder of your own (the upload writes its backup there):\n"
    "  calvenori-sim --control /tmp/calvenori-ctl --link /tmp/calvenori-pump &\n"
    "  calvenori-upload --port /tmp/calvenori-pump \\\n"
    "      --params " CALVENORI_EXAMPLES "/pump-parameters.txt \\\n"
    "      --program " CALVENORI_EXAMPLES "/pump-controller-v1.5.s19 \\\n"
    "      --actions 'calvenori-sim ctl /tmp/calvenori-ctl' --restore keep\n"
    "  kill %1\n";

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
               " [--read-back FORM] [--record-ack star|star-crlf] [--erase-ms MS] [--control SOCKET]"
               " [--link PATH]\n"
               "       %s ctl SOCKET cycle|bridge-and-cycle|unbridge-and-cycle\n",
               program, program);
  return 2;
}

// The client side of --control: what a bench script's actions hook runs.
int Control(const char *socketPath, const char *command) {
  QString error;
  if (sim::SendControlCommand(QString::fromLocal8Bit(socketPath), command, &error)) return 0;
  std::fprintf(stderr, "calvenori-sim ctl: %s\n", error.toLocal8Bit().constData());
  return 1;
}

// --link: an earlier run's link is replaced; anything else there is left alone.
bool MakeLink(const char *path, const QByteArray &device) {
  struct stat there;
  if (lstat(path, &there) == 0 && S_ISLNK(there.st_mode)) unlink(path);
  if (symlink(device.constData(), path) == 0) return true;
  std::fprintf(stderr, "calvenori-sim: cannot make the link %s: %s\n", path, std::strerror(errno));
  return false;
}

// Only while it still names this run's device: another run may own it now.
void RemoveLink(const char *path, const QByteArray &device) {
  char target[4096];
  const ssize_t n = readlink(path, target, sizeof target);
  if (n > 0 && QByteArray(target, int(n)) == device) unlink(path);
}

}  // namespace

int main(int argc, char **argv) {
  if (const int answered = AnswerHelpOrVersion(argc, argv); answered >= 0) return answered;
  sim::Dialect dialect = sim::Dialect::E;
  sim::Mode mode = sim::Mode::Application;
  bool paced = false;
  sim::LineDelivery delivery;
  const char *controlSocket = nullptr;
  const char *link = nullptr;
  sim::Faults faults;
  if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) return argc == 4 ? Control(argv[2], argv[3]) : Usage(argv[0]);
  for (int i = 1; i < argc; ++i) {
    const char *arg = argv[i];
    const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(arg, "--paced") == 0) {
      paced = true;
    } else if (std::strcmp(arg, "--delivery") == 0 && next) {
      if (!sim::ParseDelivery(QString::fromLocal8Bit(next), delivery)) return Usage(argv[0]);
      if (delivery.Kind != sim::DeliveryKind::Even) paced = true;
      ++i;
    } else if (std::strcmp(arg, "--dialect") == 0 && next) {
      if (std::strcmp(next, "E") == 0 || std::strcmp(next, "(E)") == 0)
        dialect = sim::Dialect::E;
      else if (std::strcmp(next, "Er") == 0)
        dialect = sim::Dialect::Er;
      else
        return Usage(argv[0]);
      ++i;
    } else if (std::strcmp(arg, "--mode") == 0 && next) {
      if (std::strcmp(next, "app") == 0)
        mode = sim::Mode::Application;
      else if (std::strcmp(next, "boot") == 0)
        mode = sim::Mode::BootMonitor;
      else if (std::strcmp(next, "param") == 0)
        mode = sim::Mode::ParameterMonitor;
      else
        return Usage(argv[0]);
      ++i;
    } else if (std::strcmp(arg, "--read-back") == 0 && next) {
      if (!sim::ParseReadBackForm(next, faults.ReadBack)) return Usage(argv[0]);
      ++i;
    } else if (std::strcmp(arg, "--record-ack") == 0 && next) {
      if (!sim::ParseRecordAck(next, faults.RecordAck)) return Usage(argv[0]);
      ++i;
    } else if (std::strcmp(arg, "--erase-ms") == 0 && next) {
      bool ok = false;
      faults.EraseWorkMs = QByteArray(next).toInt(&ok);
      if (!ok || faults.EraseWorkMs < 0 || faults.EraseWorkMs > 60000) return Usage(argv[0]);
      ++i;
    } else if (std::strcmp(arg, "--control") == 0 && next) {
      controlSocket = next;
      ++i;
    } else if (std::strcmp(arg, "--link") == 0 && next) {
      link = next;
      ++i;
    } else {
      return Usage(argv[0]);
    }
  }

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

  sim::SimulatedController controller(dialect);
  controller.SetPaced(paced);
  controller.SetDelivery(delivery);
  controller.SetFaults(faults);
  if (mode == sim::Mode::BootMonitor) controller.SetBridge(true);
  controller.SetMode(mode);
  QString error;
  if (!controller.Start(&error)) {
    std::fprintf(stderr, "calvenori-sim: %s\n", error.toLocal8Bit().constData());
    return 1;
  }
  sim::ControlChannel control;
  if (controlSocket && !control.Start(controller, QString::fromLocal8Bit(controlSocket), &error)) {
    std::fprintf(stderr, "calvenori-sim: %s\n", error.toLocal8Bit().constData());
    return 1;
  }
  const QByteArray device = controller.SlavePath().toLocal8Bit();
  if (link && !MakeLink(link, device)) return 1;
  std::printf("%s\n", device.constData());
  std::fflush(stdout);

  // Until a signal or the end of stdin (a closed pipe ends the simulator too).
  // A terminal is read only while this process is in its foreground: in the
  // background it would take the keys typed at the shell.
  struct stat in;
  const bool terminal = isatty(STDIN_FILENO);
  bool stdinOpen = terminal || (fstat(STDIN_FILENO, &in) == 0 && (S_ISFIFO(in.st_mode) || S_ISSOCK(in.st_mode)));
  while (!stopRequested && controller.Running()) {
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
  if (link) RemoveLink(link, device);
  return 0;
}
