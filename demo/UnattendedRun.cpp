#include "UnattendedRun.h"

#include "MainWindowSetup.h"
#include "Screenshots.h"
#include "SimulatedController.h"
#include "StepReporter.h"
#include "Technician.h"
#include "UploadSummary.h"
#include "MainWindow.h"
#include "RestoreDialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTimer>

#include <cstdlib>

namespace {

// A paced full upload takes well under a minute; this only ends a demo that
// hangs, from inside whatever modal loop it hangs in.
constexpr int WatchdogMinutes = 5;
// A prompt loop whose controller never gives the awaited answer repeats its
// message for ever; a technician would give up after a few tries.
constexpr int MostRepeats = 5;

[[noreturn]] void GiveUp(const QString &why) {
  StepReporter::Print(QStringLiteral("[demo] ") + why + QStringLiteral(" Giving up."));
  std::_Exit(3);
}

void ArmWatchdog(QTimer &watchdog) {
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] {
    GiveUp(QStringLiteral("The upload did not end within %1 minutes.").arg(WatchdogMinutes));
  });
  watchdog.start(WatchdogMinutes * 60 * 1000);
}

// Reports and pictures what the simulated technician is shown: each message
// and the restore dialog, each distinct window once.
class Witness {
 public:
  Witness(Technician &hands, StepReporter &reporter, Screenshots &shots) : reporter_(reporter), shots_(shots) {
    hands.OnMessage = [this](const QString &text) { Message(text); };
    hands.OnRestoreDialog = [this](RestoreDialog &dialog) { ShowDialog(dialog); };
  }

 private:
  void Message(const QString &text) {
    repeats_ = text == last_ ? repeats_ + 1 : 1;
    last_ = text;
    reporter_.Message(text);
    if (repeats_ > MostRepeats) GiveUp(QStringLiteral("The same message came %1 times in a row.").arg(repeats_));
    QWidget *box = QApplication::activeModalWidget();
    if (box && !pictured_.contains(text)) shots_.Save(*box, QStringLiteral("message ") + text);
    pictured_.insert(text);
  }

  void ShowDialog(RestoreDialog &dialog) {
    StepReporter::Print(QStringLiteral("[dialog] Windows Updating: the technician sends the saved values"));
    if (!dialogPictured_) shots_.Save(dialog, QStringLiteral("restore dialog"));
    dialogPictured_ = true;
  }

  StepReporter &reporter_;
  Screenshots &shots_;
  QString last_;
  int repeats_ = 0;
  QSet<QString> pictured_;
  bool dialogPictured_ = false;
};

void PrintIntroduction(const sim::SimulatedController &controller, const ExampleFiles &files,
                       const DemoOptions &options) {
  StepReporter::Print(
      QStringLiteral("[demo] %1 upload with \"Check Errors\" ticked\n"
                     "       parameter list %2\n")
          .arg(options.FullMode ? QStringLiteral("Full") : QStringLiteral("Parameter-only"), files.ParameterList) +
      (options.FullMode ? QStringLiteral("       program file   %1\n").arg(files.ProgramFile) : QString()) +
      QStringLiteral("       simulated controller on %1 (port 1), %2")
          .arg(controller.SlavePath(), options.Paced ? QStringLiteral("answering like a 9600 baud line")
                                                     : QStringLiteral("answering at full speed")));
}

}  // namespace

int RunUnattended(MainWindow &window, sim::SimulatedController &controller, const ExampleFiles &files,
                  const DemoOptions &options) {
  Screenshots shots(QDir::currentPath());
  StepReporter reporter(window, &shots);
  Technician hands(controller);
  Witness witness(hands, reporter, shots);
  QTimer watchdog;
  ArmWatchdog(watchdog);

  PrintIntroduction(controller, files, options);
  const auto windowsBefore = IdentificationWindows(controller);
  QElapsedTimer clock;
  clock.start();
  UploadResult result = UploadResult::Refused;
  window.OnStartUpload = [&] { result = StartUpload(window, QDir::current()); };
  PressStartUpload(window);
  const double seconds = clock.elapsed() / 1000.0;

  const UploadSummary summary = Summarise(controller, files, options.FullMode, windowsBefore, result);
  StepReporter::Print(SummaryText(summary));
  StepReporter::Print(QStringLiteral("  upload time:             %1 s").arg(seconds, 0, 'f', 1));
  StepReporter::Print(QStringLiteral("  screenshots:             %1 in %2").arg(shots.Count()).arg(shots.Dir()));
  StepReporter::Print(summary.Ok() ? QStringLiteral("Upload complete.") : QStringLiteral("The upload did NOT complete."));
  return summary.Ok() ? 0 : 1;
}
