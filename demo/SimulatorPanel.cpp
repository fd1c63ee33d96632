#include "SimulatorPanel.h"

#include "SimulatedController.h"
#include "MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QString ModeName(sim::Mode mode, sim::Dialect dialect) {
  switch (mode) {
    case sim::Mode::Off: return QStringLiteral("off");
    case sim::Mode::Application: return QStringLiteral("application");
    case sim::Mode::BootMonitor:
      return QStringLiteral("boot monitor \"%1\"").arg(QString::fromLatin1(QByteArray(sim::RowOf(dialect).Prompt).mid(7, 3)));
    case sim::Mode::ParameterMonitor: return QStringLiteral("parameter monitor");
  }
  return QString();
}


// How the controller's bytes reach the uploader: the line choices offered.
void AddLineChoices(QComboBox &box) {
  box.addItem(QStringLiteral("Line: even 9600 baud pacing"), QStringLiteral("even"));
  box.addItem(QStringLiteral("Line: USB converter, latency timer 16 ms"), QStringLiteral("usb:16"));
  box.addItem(QStringLiteral("Line: USB converter, latency timer 32 ms"), QStringLiteral("usb:32"));
  box.addItem(QStringLiteral("Line: built-in UART with FIFO"), QStringLiteral("fifo"));
}

// How the parameter monitor answers a read-back of the byte 2C.
void AddReadBackChoices(QComboBox &box) {
  for (sim::ReadBackForm form : sim::ReadBackForms()) {
    const QByteArray name = sim::ReadBackFormName(form);
    box.addItem(QStringLiteral("Read-back answer: %1").arg(QString::fromLatin1(name)), QString::fromLatin1(name));
  }
}

// How the boot monitor acknowledges an S-record.
void AddRecordAckChoices(QComboBox &box) {
  box.addItem(QStringLiteral("Record acknowledgement: \"*\""), QStringLiteral("star"));
  box.addItem(QStringLiteral("Record acknowledgement: \"*\" CR LF"), QStringLiteral("star-crlf"));
}

// How long the boot monitor works on an erase before it answers.
void AddEraseChoices(QComboBox &box) {
  box.addItem(QStringLiteral("Erase: answered at once"), 0);
  box.addItem(QStringLiteral("Erase: echoed at once, \"Erased\" after 300 ms"), 300);
}

// How often a byte is lost or garbled on the line; another rate the demo was
// started with is offered too.
void AddNoiseChoices(QComboBox &box, double current) {
  box.addItem(QStringLiteral("Line noise: off"), 0.0);
  for (int in : {10000, 1000, 100})
    box.addItem(QStringLiteral("Line noise: 1 byte in %L1 lost or garbled").arg(in), 1.0 / in);
  if (box.findData(current) < 0)
    box.addItem(QStringLiteral("Line noise: %1 of the bytes lost or garbled").arg(current), current);
  box.setCurrentIndex(box.findData(current));
}

constexpr int UnplugMs = 5000;

}  // namespace

SimulatorPanel::SimulatorPanel(sim::SimulatedController &controller, const MainWindow &uploader)
    : controller_(controller),
      uploader_(uploader),
      mode_(new QLabel(this)),
      power_(new QCheckBox(QStringLiteral("Power"), this)),
      bridge_(new QCheckBox(QStringLiteral("Bridge pins 5 and 9 (read at power-on)"), this)),
      automatic_(new QCheckBox(QStringLiteral("Automatic technician"), this)),
      line_(new QComboBox(this)),
      readBack_(new QComboBox(this)),
      recordAck_(new QComboBox(this)),
      erase_(new QComboBox(this)),
      noise_(new QComboBox(this)),
      unplug_(new QPushButton(this)),
      note_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Simulated controller"));
  setAttribute(Qt::WA_QuitOnClose, false);  // closing the uploader ends the demo
  automatic_->setChecked(true);
  note_->setWordWrap(true);
  note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  note_->setMinimumWidth(360);
  // Room for the longest note, so the window never has to grow.
  note_->setMinimumHeight(note_->fontMetrics().lineSpacing() * 3);

  auto *layout = new QVBoxLayout(this);
  for (QWidget *w : {static_cast<QWidget *>(mode_), static_cast<QWidget *>(power_),
                     static_cast<QWidget *>(bridge_), static_cast<QWidget *>(automatic_), static_cast<QWidget *>(line_),
                     static_cast<QWidget *>(readBack_), static_cast<QWidget *>(recordAck_),
                     static_cast<QWidget *>(erase_), static_cast<QWidget *>(noise_),
                     static_cast<QWidget *>(unplug_), static_cast<QWidget *>(note_)})
    layout->addWidget(w);

  connect(power_, &QCheckBox::toggled, this, [this](bool on) { on ? controller_.PowerOn() : controller_.PowerOff(); });
  connect(bridge_, &QCheckBox::toggled, this, [this](bool on) { controller_.SetBridge(on); });
  AddLineChoices(*line_);
  line_->setCurrentIndex(qMax(0, line_->findData(sim::DeliveryName(controller_.Delivery()))));
  connect(line_, &QComboBox::currentIndexChanged, this, [this] {
    sim::LineDelivery delivery;
    if (!sim::ParseDelivery(line_->currentData().toString(), delivery)) return;
    // Converters and FIFOs shape a line that runs at 9600 baud.
    if (delivery.Kind != sim::DeliveryKind::Even) controller_.SetPaced(true);
    controller_.SetDelivery(delivery);
  });
  AddReadBackChoices(*readBack_);
  readBack_->setCurrentIndex(
      qMax(0, readBack_->findData(QString::fromLatin1(sim::ReadBackFormName(controller_.CurrentFaults().ReadBack)))));
  connect(readBack_, &QComboBox::currentIndexChanged, this, [this] {
    sim::Faults faults = controller_.CurrentFaults();
    if (!sim::ParseReadBackForm(readBack_->currentData().toString().toLatin1(), faults.ReadBack)) return;
    controller_.SetFaults(faults);
  });
  AddRecordAckChoices(*recordAck_);
  recordAck_->setCurrentIndex(qMax(
      0, recordAck_->findData(QString::fromLatin1(sim::RecordAckName(controller_.CurrentFaults().RecordAck)))));
  connect(recordAck_, &QComboBox::currentIndexChanged, this, [this] {
    sim::Faults faults = controller_.CurrentFaults();
    if (!sim::ParseRecordAck(recordAck_->currentData().toString().toLatin1(), faults.RecordAck)) return;
    controller_.SetFaults(faults);
  });
  AddEraseChoices(*erase_);
  erase_->setCurrentIndex(qMax(0, erase_->findData(controller_.CurrentFaults().EraseWorkMs)));
  connect(erase_, &QComboBox::currentIndexChanged, this, [this] {
    sim::Faults faults = controller_.CurrentFaults();
    faults.EraseWorkMs = erase_->currentData().toInt();
    controller_.SetFaults(faults);
  });
  AddNoiseChoices(*noise_, controller_.Noise().Rate);
  connect(noise_, &QComboBox::currentIndexChanged, this, [this] {
    controller_.SetNoise({noise_->currentData().toDouble(), controller_.Noise().Seed});
  });
  connect(unplug_, &QPushButton::clicked, this, [this] {
    QString error;
    if (!controller_.Unplug(UnplugMs, &error)) note_->setText(error);
    Refresh();
  });
  connect(&timer_, &QTimer::timeout, this, [this] {
    WatchModalWindows();
    Refresh();
  });
  timer_.start(50);
  Refresh();
}

void SimulatorPanel::Refresh() {
  const sim::Mode mode = controller_.CurrentMode();
  mode_->setText(QStringLiteral("Controller: <b>%1</b>").arg(ModeName(mode, controller_.CurrentDialect())));
  const QSignalBlocker quietPower(power_);
  const QSignalBlocker quietBridge(bridge_);
  power_->setChecked(mode != sim::Mode::Off);
  bridge_->setChecked(controller_.Bridged());
  const bool plugged = controller_.Plugged();
  unplug_->setEnabled(plugged);
  unplug_->setText(plugged ? QStringLiteral("Unplug 5 s") : QStringLiteral("Unplugged: back within 5 s"));
}

void SimulatorPanel::WatchModalWindows() {
  QWidget *modal = QApplication::activeModalWidget();
  const bool busy = uploader_.Busy();
  if (noted_ && modal == seen_ && busy == seenBusy_) return;
  noted_ = true;
  seen_ = modal;
  seenBusy_ = busy;
  if (!modal) {
    note_->setText(busy ? QStringLiteral("The upload is running; wait for the next message.")
                                    : QStringLiteral("Click \"Start Upload\" in the uploader's window."));
    return;
  }
  KeepUsableBeside(*modal);
  if (qobject_cast<QMessageBox *>(modal)) Answer(uploader_.PromptShown());
  else note_->setText(QStringLiteral("Review the saved values, then click \"Send and Lock the Controller\"."));
}

// A modal window blocks every other window, but not one that is transient for
// it: so the switches stay usable while a prompt waits for its OK.
void SimulatorPanel::KeepUsableBeside(QWidget &modal) {
  if (windowHandle() && modal.windowHandle()) windowHandle()->setTransientParent(modal.windowHandle());
}

// The prompts that want the technician's hands all ask to switch the
// controller off and on; the other messages only want OK.
void SimulatorPanel::Answer(std::optional<PromptKind> prompt) {
  if (!prompt || *prompt == PromptKind::Repeat) {
    note_->setText(QStringLiteral("Nothing to do with the controller: click OK."));
  } else if (automatic_->isChecked()) {
    controller_.PowerOff();
    controller_.SetBridge(*prompt == PromptKind::Bridge);
    controller_.PowerOn();
    note_->setText(QStringLiteral("The automatic technician did what the message asks. Click OK."));
  } else {
    note_->setText(QStringLiteral("Do what the message asks with the switches above, then click OK."));
  }
  Refresh();
}
