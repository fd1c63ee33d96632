#pragma once
// "Windows Value Manager": what the controller on the chosen port is, read
// without changing it; the nine identification windows, the lock, the port.
// Read-only; Refresh reads again, Copy puts it on the clipboard as text.

#include "Examination.h"

#include <QDialog>
#include <QDir>
#include <QString>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class UploadHost;

class WindowValueDialog : public QDialog {
 public:
  // Makes a port where a controller was found the chosen one: its number and
  // the device's lasting name.
  using ChoosePort = std::function<void(int number, const QString &device)>;

  // Reads as soon as it shows. `host` is the main window: its port, the chosen
  // port and its messages.
  // `folder`: the working folder, where the journal takes the line.
  WindowValueDialog(UploadHost &host, ChoosePort choosePort, const QDir &folder, QWidget *owner);

  // Reads the controller again; when nothing answers, offers to look on the
  // other ports.
  void Refresh();
  // The values as text for a service report, one line each.
  QString ReportText() const;
  // Shows what a read found; Refresh shows its own.
  void Show(const IdentifyRun &run);

 protected:
  void showEvent(QShowEvent *event) override;
  void reject() override;

 private:
  void OfferOtherPorts();
  void SetReading(bool reading);
  void ShowState(const QString &text);

  std::array<QLineEdit *, IdWindowCount> txtWin{};
  QLabel *lblLock = nullptr;
  QLabel *lblPort = nullptr;
  QLabel *lblState = nullptr;
  QPushButton *cmdRefresh = nullptr;
  QPushButton *cmdCopy = nullptr;
  QPushButton *cmdClose = nullptr;
  UploadHost &host_;
  QDir folder_;
  ChoosePort choosePort_;
  IdentifyRun last_;
  QString portName_;
  bool reading_ = false;
  bool shown_ = false;
  bool closing_ = false;  // closed while it looked: gone once the look has ended
  class PortSearch *search_ = nullptr;
};
