#pragma once
// Lets the technician pick the COM port of the next upload among those that
// can be opened now. The dialog shows at once and fills in as the ports
// answer: each is opened in a thread of its own, and one that does not answer
// in time is named instead of listed.

#include <QDialog>

#include "PortProbe.h"

class QComboBox;
class QLabel;
class QPushButton;
class SerialPort;

class PortDialog : public QDialog {
  Q_OBJECT

 public:
  // `port` is the program's one serial port object: while an upload holds it
  // open nothing is probed. `comPortDevice`, when set, is the device chosen
  // last time: it is preselected under whatever number it has now.
  PortDialog(SerialPort &port, int comPort, QWidget *owner, const QString &comPortDevice = QString(),
             const ProbeSetup &setup = ProbeSetup());

  // Valid once the dialog was accepted with "OK".
  int ChosenPort() const { return chosen_; }
  QString ChosenDevice() const { return chosenDevice_; }
  // Some port has neither answered nor been given up on yet.
  bool Probing() const { return !tally_.Finished(); }

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void BuildControls();
  void StartProbing(SerialPort &port, const QString &comPortDevice, const ProbeSetup &setup);
  void PortAnswered(int number, OpenFault fault);
  void ListPort(int number);
  void ProbeFinished();
  void ShowNoPortMessage();
  void Confirm();
  void ShowDevice(const QString &text);

  const int comPort_;
  int chosen_;
  QString chosenDevice_;
  ProbeTally tally_;
  int limitMs_ = 0;
  int deviceNumber_ = 0;   // the number of the device chosen last time, 0: none
  bool userChose_ = false;  // the technician picked or typed: arrivals leave the choice alone
  bool noPort_ = false;
  bool messageShown_ = false;

  QLabel *lblSerial = nullptr;
  QComboBox *cboSerialPort = nullptr;
  QLabel *lblDevice = nullptr;
  QLabel *lblProbe = nullptr;
  QPushButton *cmdOK = nullptr;
};
