// calvenori-demo: the uploader doing its main job against a simulated pump
// controller on a pseudo-terminal, with the sample files of examples/.

#include "DemoOptions.h"
#include "DisplayRun.h"
#include "ExampleFiles.h"
#include "MainWindowSetup.h"
#include "UnattendedRun.h"

#include "AppIcon.h"
#include "Message.h"
#include "SimulatedController.h"
#include "MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void PrintError(const QString &text) { std::fputs(qPrintable(text + '\n'), stderr); }

// The backup file tmpLogWin.txt goes to the current directory: make that the
// output directory so the demo leaves nothing elsewhere.
bool EnterOutputDir(const QString &dir) {
  if (!QDir().mkpath(dir) || !QDir::setCurrent(dir)) {
    PrintError(QStringLiteral("calvenori-demo: cannot use the output directory %1").arg(dir));
    return false;
  }
  return true;
}

// Offscreen, Qt warns that there is no window manager to pass size hints to
// (once per message box); outside a desktop session, that there is no runtime
// directory. Both are noise in the demo's report.
QtMessageHandler passOn = nullptr;
void QuietQt(QtMsgType type, const QMessageLogContext &context, const QString &text) {
  if (text.contains(QLatin1String("does not support propagateSizeHints")) ||
      text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
    return;
  passOn(type, context, text);
}

// With `link`, the uploader opens the controller by that name, which an
// unplug from the simulator panel keeps.
bool StartController(sim::SimulatedController &controller, const DemoOptions &options, const QString &link) {
  controller.SetPaced(options.Paced);
  controller.SetNoise(options.Noise);
  QString error;
  if (!controller.Start(&error) || (!link.isEmpty() && !controller.SetLink(link, &error))) {
    PrintError(QStringLiteral("calvenori-demo: the simulated controller did not start: %1").arg(error));
    return false;
  }
  // Port 1 of the uploader.
  qputenv("CALVENORI_PORTS", (link.isEmpty() ? controller.SlavePath() : link).toLocal8Bit());
  return true;
}

}  // namespace

int main(int argc, char *argv[]) {
  const DemoOptions options = ParseDemoOptions(argc, argv);
  if (options.Help || !options.Error.isEmpty()) {
    if (!options.Error.isEmpty()) PrintError(options.Error);
    std::fputs(qPrintable(DemoUsage()), options.Help ? stdout : stderr);
    return options.Help ? 0 : 2;
  }
  const bool unattended = options.Unattended || !HasDisplay();
  if (unattended) qputenv("QT_QPA_PLATFORM", "offscreen");
  passOn = qInstallMessageHandler(QuietQt);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(AppTitle));
  QApplication::setWindowIcon(AppIcon());

  const ExampleFiles files;
  if (!EnterOutputDir(QDir(options.OutDir).absolutePath())) return 1;
  QTemporaryDir linkDir;
  sim::SimulatedController controller;
  if (!StartController(controller, options, unattended ? QString() : linkDir.filePath("calvenori-pump"))) return 1;

  MainWindow window;
  PrepareMainWindow(window, files, options.FullMode);
  window.show();
  return unattended ? RunUnattended(window, controller, files, options)
                    : RunWithDisplay(app, window, controller, files);
}
