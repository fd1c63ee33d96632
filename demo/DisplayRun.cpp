#include "DisplayRun.h"

#include "SimulatedController.h"
#include "SimulatorPanel.h"
#include "StepReporter.h"
#include "UploadDriver.h"
#include "UploadSummary.h"
#include "MainWindow.h"
#include "RestoreDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace {

// Echoes each modal window to the terminal as it appears and keeps the last
// message, which tells whether an upload succeeded.
class ModalEcho : public QObject {
 public:
  explicit ModalEcho(StepReporter &reporter) : reporter_(reporter) {
    connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start(50);
  }

 private:
  void Look() {
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == seen_) return;
    seen_ = modal;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
      reporter_.Message(box->text());
    } else if (qobject_cast<RestoreDialog *>(modal)) {
      StepReporter::Print(QStringLiteral("[dialog] Windows Updating: review the saved values"));
    }
  }

  StepReporter &reporter_;
  QTimer timer_;
  QPointer<QWidget> seen_;
};

}  // namespace

int RunWithDisplay(QApplication &app, MainWindow &window, sim::SimulatedController &controller,
                   const ExampleFiles &files) {
  StepReporter reporter(window, nullptr);
  ModalEcho echo(reporter);
  // Each upload the human starts ends with what the controller now holds.
  window.OnStartUpload = [&] {
    const auto windowsBefore = IdentificationWindows(controller);
    const UploadResult result = StartUpload(window, QDir::current());
    const bool fullMode = window.UploadMode() == UploadKind::Full;
    StepReporter::Print(SummaryText(Summarise(controller, files, fullMode, windowsBefore, result)));
  };
  SimulatorPanel panel(controller, window);
  panel.show();
  panel.move(window.frameGeometry().topRight() + QPoint(24, 0));
  StepReporter::Print(QStringLiteral(
      "[demo] Click \"Start Upload\" in the uploader's window and answer each message.\n"
      "       The \"Simulated controller\" window plays your hands; untick \"Automatic technician\"\n"
      "       to switch the controller and bridge pins 5 and 9 yourself."));
  return app.exec();
}
