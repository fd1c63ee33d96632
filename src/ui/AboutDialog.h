#pragma once
// Tells which release of the tool is running.

#include <QDialog>

class QLabel;
class QPushButton;

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget *owner);

 private:
  void BuildControls();
  void ShowRelease();

  QLabel *lblRelease = nullptr;
  QPushButton *cmdOk = nullptr;
};
