#include "PortDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "Message.h"
#include "PortProbe.h"
#include "SerialPort.h"

PortDialog::PortDialog(SerialPort &port, qint16 comPort, QWidget *owner, const QString &comPortDevice)
    : QDialog(owner), chosen_(comPort) {
  setWindowTitle(QStringLiteral("Serial Port"));
  BuildControls();
  Form_Load(port, comPort, comPortDevice);
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
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);

  auto *grid = new QGridLayout(this);
  grid->addWidget(lblSerial, 0, 0);
  grid->addWidget(cboSerialPort, 0, 1);
  grid->addWidget(lblDevice, 1, 0, 1, 2);
  grid->addWidget(cmdOK, 2, 0, 1, 2, Qt::AlignHCenter);
  grid->setSizeConstraint(QLayout::SetFixedSize);

  connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cboSerialPort, &QComboBox::currentTextChanged, this,
          [this](const QString &text) { ShowDevice(text); });
  cboSerialPort->setFocus();
}

void PortDialog::Form_Load(SerialPort &port, qint16 comPort, const QString &comPortDevice) {
  // An open port belongs to a running upload; opening and closing it here
  // would cut the upload's line.
  if (port.IsOpen()) {
    lblDevice->setText(QStringLiteral("Port %1 is in use by the upload").arg(port.PortNumber()));
    return;
  }
  const ProbeResult probe = ProbePorts(port);
  const QList<int> &ports = probe.Available;
  cboSerialPort->clear();
  for (int number : ports) cboSerialPort->addItem(QString::number(number));
  if (ports.isEmpty()) {
    noPort_ = true;
    denied_ = probe.Denied;
    cboSerialPort->setCurrentIndex(-1);
    return;
  }
  // The device chosen before keeps its place in the list under a new number.
  const int current = comPortDevice.isEmpty() ? 0 : NumberOfDevice(ports, comPortDevice);
  const int preselect = ports.indexOf(current > 0 ? current : comPort);
  cboSerialPort->setCurrentIndex(preselect >= 0 ? preselect : 0);
}

void PortDialog::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!noPort_ || messageShown_) return;
  messageShown_ = true;
  // After the show, so the message stands in front of the dialog.
  QTimer::singleShot(0, this,
                     [this] { ShowMessage(this, NoPortText(denied_)); });
}

void PortDialog::ShowDevice(const QString &text) {
  const std::optional<qint16> number = ParsePortNumber(text);
  lblDevice->setText(number ? PortDescription(*number) : QString());
}

void PortDialog::cmdOK_Click() {
  const std::optional<qint16> number = ParsePortNumber(cboSerialPort->currentText());
  if (!number) {
    ShowMessage(this, QStringLiteral("Please enter a port number from 1 to 255."));
    return;
  }
  chosen_ = *number;
  chosenDevice_ = ChosenDeviceOf(*number);
  accept();
}
