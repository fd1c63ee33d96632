#pragma once
// Lets the technician pick the COM port of the next upload among those that
// can be opened now.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class SerialPort;

class frmSerialPort : public QDialog {
  Q_OBJECT

 public:
  // Probes through `port`, the program's one serial port object.
  frmSerialPort(SerialPort &port, qint16 comPort, QWidget *owner);

  // Valid once the dialog was accepted with "OK".
  qint16 ChosenPort() const { return chosen_; }

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void BuildControls();
  void Load(SerialPort &port, qint16 comPort);
  void cmdOK_Click();
  void ShowDevice(const QString &text);

  qint16 chosen_;
  bool noPort_ = false;
  bool messageShown_ = false;

  QLabel *lblSerial = nullptr;
  QComboBox *cboSerialPort = nullptr;
  QLabel *lblDevice = nullptr;
  QPushButton *cmdOK = nullptr;
};
