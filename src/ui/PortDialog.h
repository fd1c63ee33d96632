#pragma once
// Lets the technician pick the COM port of the next upload among those that
// can be opened now.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class SerialPort;

class PortDialog : public QDialog {
  Q_OBJECT

 public:
  // Probes through `port`, the program's one serial port object.
  // `comPortDevice`, when set, is the device chosen last time: it is
  // preselected under whatever number it has now.
  PortDialog(SerialPort &port, qint16 comPort, QWidget *owner, const QString &comPortDevice = QString());

  // Valid once the dialog was accepted with "OK".
  qint16 ChosenPort() const { return chosen_; }
  QString ChosenDevice() const { return chosenDevice_; }

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void BuildControls();
  void Form_Load(SerialPort &port, qint16 comPort, const QString &comPortDevice);
  void cmdOK_Click();
  void ShowDevice(const QString &text);

  qint16 chosen_;
  QString chosenDevice_;
  bool noPort_ = false;
  QStringList denied_;
  bool messageShown_ = false;

  QLabel *lblSerial = nullptr;
  QComboBox *cboSerialPort = nullptr;
  QLabel *lblDevice = nullptr;
  QPushButton *cmdOK = nullptr;
};
