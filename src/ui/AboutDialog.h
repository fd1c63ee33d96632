#pragma once
// Tells which release of the tool is running, and whose libraries it uses.

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// What the Licences button says: that the program uses Qt under the LGPL-3.0,
// and where the licences and notices of what it uses are (on Windows the
// kit's THIRD-PARTY-NOTICES.txt, beside the programs' folder).
QString LicenceNotice();

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget *owner);

 private:
  void BuildControls();
  void ShowRelease();

  QLabel *lblRelease = nullptr;
  QPushButton *cmdOk = nullptr;
  QPushButton *cmdLicences = nullptr;
};
