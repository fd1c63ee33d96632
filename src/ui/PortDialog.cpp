#include "PortDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "Message.h"
#include "PortProbe.h"
#include "SerialPort.h"

PortDialog::PortDialog(SerialPort &port, int comPort, QWidget *owner, const QString &comPortDevice,
                       const ProbeSetup &setup)
    : QDialog(owner), comPort_(comPort), chosen_(comPort) {
  setWindowTitle(QStringLiteral("Serial Port"));
  BuildControls();
  StartProbing(port, comPortDevice, setup);
}

void PortDialog::BuildControls() {
  lblSerial = new QLabel(QStringLiteral("Select Serial Port"), this);
  lblSerial->setObjectName(QStringLiteral("lblSerial"));
  cboSerialPort = new QComboBox(this);
  cboSerialPort->setObjectName(QStringLiteral("cboSerialPort"));
  cboSerialPort->setEditable(true);
  cboSerialPort->setInsertPolicy(QComboBox::NoInsert);
  lblDevice = new QLabel(this);
  lblDevice->setObjectName(QStringLiteral("lblDevice"));
  // Room for a usual adapter, so the dialog does not jump as the selection moves.
  lblDevice->setMinimumWidth(
      lblDevice->fontMetrics().horizontalAdvance(QStringLiteral("/dev/ttyUSB0 - FT232R USB UART")));
  lblProbe = new QLabel(this);
  lblProbe->setObjectName(QStringLiteral("lblProbe"));
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);

  auto *grid = new QGridLayout(this);
  grid->addWidget(lblSerial, 0, 0);
  grid->addWidget(cboSerialPort, 0, 1);
  grid->addWidget(lblDevice, 1, 0, 1, 2);
  grid->addWidget(lblProbe, 2, 0, 1, 2);
  grid->addWidget(cmdOK, 3, 0, 1, 2, Qt::AlignHCenter);
  grid->setSizeConstraint(QLayout::SetFixedSize);

  connect(cmdOK, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(cboSerialPort, &QComboBox::currentTextChanged, this,
          [this](const QString &text) { ShowDevice(text); });
  connect(cboSerialPort, &QComboBox::activated, this, [this] { userChose_ = true; });
  connect(cboSerialPort->lineEdit(), &QLineEdit::textEdited, this, [this] { userChose_ = true; });
  cboSerialPort->setFocus();
}

void PortDialog::StartProbing(SerialPort &port, const QString &comPortDevice, const ProbeSetup &setup) {
  // An open port belongs to a running upload; opening and closing it here
  // would cut the upload's line.
  if (port.IsOpen()) {
    lblDevice->setText(QStringLiteral("Port %1 is in use by the upload").arg(port.PortNumber()));
    return;
  }
  limitMs_ = setup.LimitMs;
  tally_.Pending = ProbeCandidates();
  // The device chosen before keeps its place in the list under a new number.
  deviceNumber_ = comPortDevice.isEmpty() ? 0 : NumberOfDevice(tally_.Pending.keys(), comPortDevice);
  if (tally_.Finished()) {
    ProbeFinished();
    return;
  }
  lblProbe->setText(QStringLiteral("Looking for serial ports..."));
  for (auto it = tally_.Pending.cbegin(); it != tally_.Pending.cend(); ++it) {
    const int number = it.key();
    OpenInBackground(setup.Opener, it.value(), this, [this, number](OpenFault fault) { PortAnswered(number, fault); });
  }
  QTimer::singleShot(setup.LimitMs, this, [this] {
    if (tally_.Finished()) return;
    GiveUpOnPending(tally_);
    ProbeFinished();
  });
}

void PortDialog::PortAnswered(int number, OpenFault fault) {
  if (!TakeAnswer(tally_, number, fault)) return;  // too late: already named as not answering
  if (fault == OpenFault::None) ListPort(number);
  if (tally_.Finished()) ProbeFinished();
}

void PortDialog::ListPort(int number) {
  const QString typed = cboSerialPort->currentText();
  cboSerialPort->insertItem(int(tally_.Available.indexOf(number)), QString::number(number));
  if (userChose_) {
    // The first entry of an empty list becomes current and would replace what was typed.
    cboSerialPort->setEditText(typed);
    return;
  }
  cboSerialPort->setCurrentIndex(PreselectedIndex(tally_.Available, deviceNumber_, comPort_));
}

void PortDialog::ProbeFinished() {
  lblProbe->setText(SilentPortsText(tally_.Silent, limitMs_));
  if (!tally_.Available.isEmpty()) return;
  noPort_ = true;
  if (isVisible()) ShowNoPortMessage();
}

void PortDialog::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (noPort_) ShowNoPortMessage();
}

void PortDialog::ShowNoPortMessage() {
  if (messageShown_) return;
  messageShown_ = true;
  // After the show, so the message stands in front of the dialog.
  QTimer::singleShot(0, this, [this] { ShowMessage(this, NoPortText(tally_.Denied.values())); });
}

void PortDialog::ShowDevice(const QString &text) {
  const std::optional<int> number = ParsePortNumber(text);
  lblDevice->setText(number ? PortDescription(*number) : QString());
}

void PortDialog::Confirm() {
  const std::optional<int> number = ParsePortNumber(cboSerialPort->currentText());
  if (!number) {
    ShowMessage(this, QStringLiteral("Please enter a port number from 1 to 255."));
    return;
  }
  chosen_ = *number;
  chosenDevice_ = ChosenDeviceOf(*number);
  accept();
}
