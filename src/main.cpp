#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "AppIcon.h"
#include "Message.h"
#include "Version.h"
#include "MainWindow.h"
#include "SessionEnd.h"

namespace {

const char *const HelpText =
    "Usage: calvenori-uploader [OPTION]...\n"
    "Load a program file and a parameter list into a Quorvel Calvenori pump controller\n"
    "over a serial line, saving and restoring its identification data around it.\n"
    "The files, the port and Check Errors are chosen in the window.\n"
    "\n"
    "Options:\n"
    "  --trace FILE   append a trace of every byte read from and written to the\n"
    "                 serial port, with the step captions, messages and answers,\n"
    "                 to FILE (one block per opening of the port)\n"
    "  -h, --help     display this help and exit\n"
    "  -v, --version  output version information and exit\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are taken as Qt takes them;\n"
    "any other argument is refused with exit status 2, and no window opens.\n"
    "\n"
    "Every upload attempt adds one line to calvenori-uploads.csv in the working\n"
    "folder, beside the backup tmpLogWin.txt: when, by whom, which controller and\n"
    "files, and how it ended (see the README; calvenori-upload --history prints it).\n"
    "An upload whose journal cannot take a line is refused before anything is sent.\n"
    "\n"
    "For terminals, unattended and scripted uploads use calvenori-upload.\n"
#ifndef Q_OS_WIN
    // The display check, the simulated controller and the example files are Linux's.
    "Without a display (no DISPLAY or WAYLAND_DISPLAY, and no -platform or\n"
    "QT_QPA_PLATFORM given) it says so and exits with status 1.\n"
    "A parameter list and a program file to try it with, against the simulated\n"
    "controller calvenori-sim, are in " CALVENORI_EXAMPLES "/\n"
#endif
    ;

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// Qt aborts (a core dump) when it finds no display to connect to; say what
// to use instead. A platform or display chosen by -platform, -display or
// QT_QPA_PLATFORM is Qt's to judge.
bool NoDisplay(int argc, char *argv[]) {
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char *value = std::getenv(name); value && *value) return false;
  for (int i = 1; i < argc; ++i)
    for (const char *option : {"-platform", "--platform", "-display", "--display"})
      if (std::strcmp(argv[i], option) == 0) return false;
  return true;
}
#endif

// --help and --version of a window program: Windows starts it without a
// console, so the text goes to the console it was started from, to where its
// output was redirected, or else into a message box.
int Inform(const QString &text) {
#ifdef Q_OS_WIN
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const bool redirected = out != nullptr && out != INVALID_HANDLE_VALUE;
  if (!redirected) {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) {
      ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t *>(text.utf16()), L"Calvenori Uploader", MB_OK);
      return 0;
    }
    if (!std::freopen("CONOUT$", "w", stdout)) return 1;
    // The prompt came back when the program started; begin on a line of our own.
    std::fputs("\n", stdout);
  }
#endif
  std::fputs(text.toLocal8Bit().constData(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Usage(const char *problem) {
  std::fprintf(stderr, "calvenori-uploader: %s\nTry 'calvenori-uploader --help' for more information.\n", problem);
  return 2;
}


// --help and --version, and the refusal without a display: all before the
// application object, which needs one.
std::optional<int> AnsweredWithoutWindow(int argc, char *argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
      return Inform(QString::fromLatin1(HelpText));
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0)
      return Inform(QStringLiteral("calvenori-uploader %1\n").arg(AppVersion()));
  }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (NoDisplay(argc, argv)) {
    std::fputs("calvenori-uploader: no display to show the window on; on a terminal use calvenori-upload "
               "(calvenori-upload --help)\n",
               stderr);
    return 1;
  }
#endif
  return std::nullopt;
}

// The --trace file from what is left once Qt has taken its own options; a
// status to end with when the arguments are refused.
std::optional<int> TraceOption(const QStringList &args, QString &trace) {
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--trace" && i + 1 < args.size()) trace = args[++i];
    else if (args[i].startsWith("--trace=")) trace = args[i].mid(8);
    else return Usage(qPrintable("unrecognised argument '" + args[i] + "'"));
  }
  if (trace.isEmpty()) return std::nullopt;
  QFile file(trace);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
    return Usage(qPrintable("cannot write the trace file " + trace + ": " + file.errorString()));
  return std::nullopt;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (const std::optional<int> status = AnsweredWithoutWindow(argc, argv)) return *status;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(AppTitle));
  QApplication::setApplicationVersion(AppVersion());
  QApplication::setDesktopFileName(QStringLiteral("calvenori-uploader"));
  QApplication::setWindowIcon(AppIcon());
  QString trace;
  if (const std::optional<int> status = TraceOption(app.arguments(), trace)) return *status;
  MainWindow window;
  window.Port().SetTraceFile(trace);
  EndSessionOnSignals(window);
  window.show();
  return app.exec();
}
