#include "CliOptions.h"

namespace {

// "--name value" or "--name=value"; advances `i` past what it took.
bool TakeValue(const QStringList &args, int &i, const QString &name, QString &value, QString *error) {
  const QString &arg = args[i];
  if (arg.startsWith(name + "=")) {
    value = arg.mid(name.size() + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    *error = QStringLiteral("option '%1' needs a value").arg(name);
    return false;
  }
  if (!value.isEmpty()) return true;
  *error = QStringLiteral("option '%1' needs a value").arg(name);
  return false;
}

bool TakeRestore(const QString &value, CliOptions &out, QString *error) {
  if (value == "ask") out.Restore = RestoreMode::Ask;
  else if (value == "keep") out.Restore = RestoreMode::Keep;
  else if (value == "skip") out.Restore = RestoreMode::Skip;
  else {
    *error = QStringLiteral("--restore takes ask, keep or skip, not '%1'").arg(value);
    return false;
  }
  out.RestoreGiven = true;
  return true;
}

bool TakeSeconds(const QString &value, int &seconds, QString *error) {
  bool ok = false;
  const int n = value.toInt(&ok);
  if (!ok || n < 0 || n > 3600) {
    *error = QStringLiteral("--port-wait takes seconds from 0 to 3600, not '%1'").arg(value);
    return false;
  }
  seconds = n;
  return true;
}

bool Matches(const QString &arg, const char *name) { return arg == name || arg.startsWith(QString(name) + "="); }

}  // namespace

namespace {

// One argument, and its value when it takes one; false with the reason.
bool TakeArgument(const QStringList &args, int &i, CliOptions &out, QString *error) {
  const QString &arg = args[i];
  QString value;
  if (arg == "-h" || arg == "--help") out.Help = true;
  else if (arg == "-v" || arg == "--version") out.Version = true;
  else if (arg == "--check-errors") out.CheckErrors = true;
  else if (arg == "--no-check-errors") out.CheckErrors = false;
  else if (arg == "--identify") out.Identify = true;
  else if (arg == "--verify") out.Verify = true;
  else if (arg == "--finish") out.Finish = true;
  else if (Matches(arg, "--folder")) return TakeValue(args, i, "--folder", out.Folder, error);
  else if (Matches(arg, "--port"))
    return TakeValue(args, i, "--port", value, error) && ParsePortChoice(value, out.Port, error);
  else if (Matches(arg, "--port-wait"))
    return TakeValue(args, i, "--port-wait", value, error) && TakeSeconds(value, out.PortWaitSeconds, error);
  else if (Matches(arg, "--params")) return TakeValue(args, i, "--params", out.ParameterFile, error);
  else if (Matches(arg, "--program")) return TakeValue(args, i, "--program", out.ProgramFile, error);
  else if (Matches(arg, "--trace")) return TakeValue(args, i, "--trace", out.TraceFile, error);
  else if (Matches(arg, "--actions")) return TakeValue(args, i, "--actions", out.Actions, error);
  else if (Matches(arg, "--journal")) return TakeValue(args, i, "--journal", out.JournalFile, error);
  else if (arg == "--history") {
    out.History = true;
    // Its file is optional: a next argument that is not an option names it.
    if (i + 1 < args.size() && !args[i + 1].startsWith('-')) out.JournalFile = args[++i];
  } else if (arg.startsWith("--history=")) {
    out.History = true;
    return TakeValue(args, i, "--history", out.JournalFile, error);
  } else if (Matches(arg, "--restore-from")) return TakeValue(args, i, "--restore-from", out.RestoreFrom, error);
  else if (Matches(arg, "--restore"))
    return TakeValue(args, i, "--restore", value, error) && TakeRestore(value, out, error);
  else {
    *error = QStringLiteral("unrecognised argument '%1'").arg(arg);
    return false;
  }
  return true;
}

// Options that cannot go together, or a list that is missing.
QString Conflict(const CliOptions &out) {
  if (out.Identify && (out.Verify || !out.ProgramFile.isEmpty()))
    return QStringLiteral("--identify reads the controller only: it takes no --verify or --program");
  if (out.Verify && !out.ProgramFile.isEmpty())
    return QStringLiteral("--verify compares the parameter list only: it takes no --program");
  if (out.Finish && (out.Identify || out.Verify || out.History))
    return QStringLiteral("--finish finishes an upload: it takes no --identify, --verify or --history");
  if (out.ParameterFile.isEmpty() && !out.Help && !out.Version && !out.History && !out.Identify && !out.Finish)
    return QStringLiteral("--params FILE is required");
  return {};
}

}  // namespace

bool ParseCliOptions(const QStringList &args, CliOptions &out, QString *error) {
  for (int i = 0; i < args.size(); ++i)
    if (!TakeArgument(args, i, out, error)) return false;
  *error = Conflict(out);
  return error->isEmpty();
}

// The simulated controller runs on Linux pseudo-terminals only, and only the
// Debian package carries the example files to try it with.
#ifdef Q_OS_WIN
#define TrainingKitHelp ""
#else
#define TrainingKitHelp                                                              \
  "\n"                                                                               \
  "To try it without a controller, against the simulated one (calvenori-sim), the\n" \
  "package holds a parameter list and a program file in\n"                          \
  "  " CALVENORI_EXAMPLES "/\n"                                                      \
  "  pump-parameters.txt, pump-controller-v1.5.s19\n"
#endif

// One text, kept out of a function so that it reads as the help it is.
const char *const CliHelp =
      "Usage: calvenori-upload --params FILE [--program FILE] [OPTION]...\n"
      "  or:  calvenori-upload --identify [--port N|DEVICE|auto] [OPTION]...\n"
      "  or:  calvenori-upload --verify --params FILE [--port N|DEVICE|auto] [OPTION]...\n"
      "  or:  calvenori-upload --finish [--port N|DEVICE] [OPTION]...\n"
      "  or:  calvenori-upload --history [FILE]\n"
      "Load a parameter list, and with --program also a program file, into a Quorvel\n"
      "Calvenori pump controller over a serial line, from a terminal or a script.\n"
      "The upload runs the same steps, prompts and checks as the window program.\n"
      "\n"
      "Options:\n"
      "  --port N|DEVICE|auto\n"
      "                      serial port: a number from 1 to 255 as in the window's\n"
      "                      port dialog, or a device path such as /dev/ttyUSB0\n"
      "                      (default: 1); for a number that names no device the\n"
      "                      ports known here are listed. auto asks every known\n"
      "                      port at once (a read of window 310, a lone CR) and\n"
      "                      takes the one where a controller answers\n"
      "  --port-wait SECONDS when the port goes away during an upload (an adapter\n"
      "                      pulled out), wait this long for it to come back, then go\n"
      "                      on from the exchange that was cut (default 60; 0: end\n"
      "                      the upload at once)\n"
      "  --identify          read what the controller is, changing nothing: the nine\n"
      "                      identification windows and the lock, or what answers\n"
      "                      when its application does not\n"
      "  --verify            compare the controller's parameter memory with --params,\n"
      "                      writing no parameter: into the monitor, every byte read\n"
      "                      back, a power-cycle prompt; a lock the power cycle\n"
      "                      undid is written again\n"
      "  --finish            finish the upload that stopped halfway on this port and\n"
      "                      in this folder, as the journal records it: only what it\n"
      "                      left to do, with the files it began with and the\n"
      "                      identification values of its own backup; the numbers\n"
      "                      are printed first, to check against the pump's label.\n"
      "                      --params and --program may name those files elsewhere\n"
      "  --folder DIR        the working folder, where the backups, the journal and\n"
      "                      the lock are (default: the current directory)\n"
      "  --params FILE       the parameter list (.txt); required but with --finish\n"
      "  --program FILE      the program file (.s19): full upload; without it only\n"
      "                      the parameter list is uploaded\n"
      "  --check-errors      interrupt the upload at the first failed step (default)\n"
      "  --no-check-errors   go on past failed steps, as with Check Errors off\n"
      "  --trace FILE        append a trace of every byte on the serial line, with the\n"
      "                      step captions, messages and answers, to FILE\n"
      "  --restore ask|keep|skip\n"
      "                      the identification windows at the end: ask shows the\n"
      "                      saved values and takes changes such as 322=CS-1 (default\n"
      "                      when standard input is a terminal); keep writes the saved\n"
      "                      values (default otherwise); skip writes none (Cancel).\n"
      "                      keep stops (status 4) when every window read zero or\n"
      "                      empty, as an erased controller answers\n"
      "  --restore-from FILE write back the values of FILE, a backup such as\n"
      "                      tmpLogWin.txt or a kept tmpLogWin-DATE-TIME.txt, instead\n"
      "                      of those read at the start (shown first; with ask they\n"
      "                      can be changed); with --program it also finishes a full\n"
      "                      upload that stopped after the erase, the controller\n"
      "                      answering only as a monitor; with --finish it stands\n"
      "                      in for the attempt's own backup\n"
      "  --actions CMD       instead of waiting for Enter at a prompt, run CMD with one\n"
      "                      argument: bridge-and-cycle, unbridge-and-cycle or cycle;\n"
      "                      a non-zero exit interrupts the upload\n"
      "  --journal FILE      add this upload's line to FILE (for example one journal\n"
      "                      on a shared drive for a whole workshop) instead of\n"
      "                      calvenori-uploads.csv in the working folder\n"
      "  --history [FILE]    print the journal (FILE, the --journal one, or that of\n"
      "                      the working folder) as a table, newest upload first\n"
      "  -h, --help          display this help and exit\n"
      "  -v, --version       output version information and exit\n"
      "\n"
      "At a prompt, do what it says at the controller and press Enter (the window's OK\n"
      "button), or press Ctrl-C to stop. When the controller does not answer as the\n"
      "prompt expects, the prompt comes again with a line saying what to check.\n"
      TrainingKitHelp
      "\n"
      "Every upload attempt, refused, interrupted or uploaded, adds one line to the\n"
      "journal calvenori-uploads.csv in the working folder (CSV, UTF-8): when, by\n"
      "whom, which controller, which files (with their SHA-256) and how it ended.\n"
      "An upload whose journal cannot take a line (its lock file included) is refused\n"
      "before anything is sent. A line cut short by a crash costs that line alone:\n"
      "--history shows the others and says how many could not be read.\n"
      "Each --identify and --verify adds a line too, with the mode identify or verify.\n"
      "\n"
      "Output is UTF-8 on a pipe, in a file and on a Linux terminal; a Windows console\n"
      "gets it as Unicode, whatever its code page. File names are taken as typed,\n"
      "letters outside ASCII included.\n"
      "\n"
      "Exit status:\n"
      "  0  uploaded\n"
      "  2  refused: a bad option (a --port that is neither a number nor a path\n"
      "     included), an empty or unfit file, an unusable trace file, a working\n"
      "     folder that cannot take the backup or where another upload runs, a\n"
      "     journal that cannot take a line or --history that cannot read one;\n"
      "     nothing was sent\n"
      "  3  the serial port could not be opened\n"
      "  4  the upload was interrupted (a failed step, a failed action, no answer\n"
      "     to a prompt, identification windows refused three times with keep,\n"
      "     nothing but zeros to write back with keep, a backup that could not be\n"
      "     written, an erased controller's windows not written back, another\n"
      "     controller on the port than the one to finish, Ctrl-C, SIGTERM or\n"
      "     SIGHUP, or on Windows the console closed, a logoff or a shutdown)\n"
      "  5  the connection to the serial port was lost\n"
      "  6  uploaded, but the upload's line could not be added to the journal (the\n"
      "     message says why); an upload that did not complete keeps its status\n"
      "     above, the missing line reported all the same\n"
      "  7  --verify: the parameter memory differs from the list\n"
      "  8  --verify: the parameter memory equals the list, but a lock the power\n"
      "     cycle undid could not be written again\n"
      "With --identify: 0 when a controller answered (its application or a\n"
      "monitor), 3 when the port did not open or --port auto found none or several,\n"
      "4 when nothing answered. With --verify: 0 when every record is equal, 7 when\n"
      "any differs, 8 when equal but the lock could not be restored, 2 to 6 as for\n"
      "an upload.\n";

QString CliHelpText() { return QString::fromUtf8(CliHelp); }
