#pragma once
// Tells which release of the tool is running.

#include <QDialog>

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget *owner);

 private:
  void BuildControls();
  void Form_Load();

  QLabel *lblRelease = nullptr;
  QPushButton *cmdOk = nullptr;
};
