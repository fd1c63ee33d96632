#pragma once
// The restore dialog: the technician reviews the identification values saved
// at the start of the upload, corrects them and writes them back.

#include <QDialog>
#include <QDir>

#include <array>

#include "UploadDriver.h"
#include "IdWindows.h"

class QLabel;
class QLineEdit;
class QPushButton;
class WrappingButton;

class RestoreDialog : public QDialog {
  Q_OBJECT

 public:
  // `folder`: the working folder, whose kept backups judge blank rows.
  // `staysBlank`: what a Cancel leaves blank in the controller ("every
  // identification window stays blank"); Cancel asks first then.
  RestoreDialog(const IdBackup &rows, RestoreWrite write, const QDir &folder, QWidget *owner,
                const QString &staysBlank = {});

  // The technician's controls, for the hosts and tests that act as the technician.
  QLineEdit *ValueBox(int row) const { return txtWin[row]; }
  QLabel *RowLabel(int row) const { return lblWin[row]; }
  QPushButton *SendButton() const { return cmdSend; }
  QPushButton *CancelButton() const { return cmdCancel; }

 protected:
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void reject() override;

 private:
  void FitLabels();
  void FitButtons(const WrappingButton &send);
  void ShowBackup();
  void Send();
  // Red, with a tooltip saying why and naming the kept backup that holds values.
  void MarkRow(int row, QString why);

  std::array<QLabel *, IdWindowCount> lblWin{};
  std::array<QLineEdit *, IdWindowCount> txtWin{};
  QPushButton *cmdSend = nullptr;
  QPushButton *cmdCancel = nullptr;
  QDir folder_;
  IdBackup rows_;
  RestoreWrite write_;
  QString staysBlank_;
  bool sending_ = false;
};
