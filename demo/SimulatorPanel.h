#pragma once
// "Simulated controller": the technician's hands beside the uploader on
// screen. A power switch and the bridge of pins 5 and 9 act on the simulated
// controller, whose mode shows live; the automatic technician does what each
// message asks as soon as it appears, and leaves clicking OK to the human.
// The line can be made noisy, and pulled out for 5 s as a USB adapter would
// be (the uploader finds it again by the link it opens).

#include "UploadDriver.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class MainWindow;
namespace sim {
class SimulatedController;
}

class SimulatorPanel : public QWidget {
 public:
  SimulatorPanel(sim::SimulatedController &controller, const MainWindow &uploader);

 private:
  void Refresh();
  void WatchModalWindows();
  void KeepUsableBeside(QWidget &modal);
  void Answer(std::optional<PromptKind> prompt);

  sim::SimulatedController &controller_;
  const MainWindow &uploader_;
  QLabel *mode_;
  QCheckBox *power_;
  QCheckBox *bridge_;
  QCheckBox *automatic_;
  QComboBox *line_;
  QComboBox *readBack_;
  QComboBox *recordAck_;
  QComboBox *erase_;
  QComboBox *noise_;
  QPushButton *unplug_;
  QLabel *note_;
  QTimer timer_;
  // What the note was last written for.
  QPointer<QWidget> seen_;
  bool seenBusy_ = false;
  bool noted_ = false;
};
