#include "MainWindow.h"

// The window as the upload's host: the step's caption and bar, the waits, the
// messages and prompts, the port opened off the window's thread, and the
// session's end, which stops an upload at its next safe point.

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "ControllerLine.h"
#include "Message.h"
#include "PortComeback.h"
#include "RestoreDialog.h"
#include "UploadTexts.h"
#include "Wait.h"

void MainWindow::SetStep(Step step) {
  if (StopIfEnding()) return;
  const QString caption = StepCaption(step);
  port_.TraceNote("STEP", caption);
  lblStepDescription->setText(caption);
  where_ = caption;
}

bool MainWindow::StopIfEnding() {
  if (stopping_) return true;
  if (endCause_.isEmpty() || !busy_) return false;
  stopping_ = true;
  port_.TraceNote("ANS", endCause_);
  port_.Stop();
  return true;
}

void MainWindow::EndSession(const QString &cause) {
  if (endCause_.isEmpty()) endCause_ = cause;
  if (!busy_) return EndSessionNow();
  // A prompt or dialog in front is closed, so the upload gets to its next safe point.
  if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) dialog->done(QDialog::Rejected);
}

void MainWindow::EndSessionNow() {
#ifdef Q_OS_WIN
  ::ShutdownBlockReasonDestroy(reinterpret_cast<HWND>(winId()));
#endif
  if (OnSessionEnded) return OnSessionEnded();
  close();
  QApplication::quit();
}

QString MainWindow::HostEnding() const {
  if (stopping_) return QStringLiteral("cut short by %1 at \"%2\"").arg(endCause_, where_);
  return QStringLiteral("interrupted at \"%1\"").arg(where_);
}

QString MainWindow::HostEndingText() const {
  if (!stopping_) return {};
  return QStringLiteral("The upload was stopped by %1 during \"%2\".").arg(endCause_, where_);
}

bool MainWindow::OpenPort(SerialPort &port) {
  const QString device = port.DeviceName();
  if (device.isEmpty()) return port.Open();  // refused at once, with its reason
  std::optional<OpenFault> fault;
  QEventLoop loop;
  OpenInBackground(OpenOffThread, device, &loop, [&](OpenFault f) {
    fault = f;
    loop.quit();
  });
  QTimer::singleShot(PortOpenLimitMs, &loop, &QEventLoop::quit);
  loop.exec();
  if (!fault)
    return port.FailOpen(OpenFault::Other,
                         QStringLiteral("it did not open within %1 s").arg(double(PortOpenLimitMs) / 1000.0));
  // Opened and closed again elsewhere: now here, where the upload uses it.
  return port.Open();
}

void MainWindow::SetProgressMin(int v) {
  progress_.SetMin(v);
  ShowProgress();
}

void MainWindow::SetProgressMax(int v) {
  progress_.SetMax(v);
  ShowProgress();
}

void MainWindow::SetProgressValue(int v) {
  if (StopIfEnding()) return;
  progress_.SetValue(v);
  ShowProgress();
}

void MainWindow::ShowProgress() {
  // The bar would repaint itself on the spot for every record; painting it
  // in the next wait for the controller keeps the line busy instead.
  pgbStep->setUpdatesEnabled(false);
  pgbStep->setRange(progress_.Min, progress_.Max);
  pgbStep->setValue(progress_.Value);
  pgbStep->setUpdatesEnabled(true);
}

void MainWindow::Wait(double seconds) {
  if (StopIfEnding()) return;
  ::Wait(seconds);
}

// In the status frame, counting down, with Give Up beside it; over a dialog
// in front (the restore dialog's Send), in a box of its own, which that
// dialog's modality leaves usable.
bool MainWindow::WaitForPort(const QString &text, const QDeadlineTimer &deadline, const std::function<bool()> &back) {
  port_.TraceNote("MSG", text);
  const QString caption = lblStepDescription->text();
  const int seconds = PortWaitSeconds();
  bool givenUp = false;
  const auto connection = connect(cmdGiveUp, &QPushButton::clicked, this, [&givenUp] { givenUp = true; });
  std::unique_ptr<QProgressDialog> box;
  if (QWidget *front = QApplication::activeModalWidget()) {
    box = std::make_unique<QProgressDialog>(QString(text).replace('\r', '\n'), cmdGiveUp->text(), 0, seconds, front);
    box->setWindowModality(Qt::WindowModal);
    box->setAutoReset(false);
    box->setAutoClose(false);
    box->setMinimumDuration(0);
  }
  lblStepDescription->setToolTip(QString(text).replace('\r', '\n'));
  cmdGiveUp->show();
  pgbStep->setRange(0, seconds);
  const bool came = PollUntil(deadline, back, [&](int left) {
    lblStepDescription->setText(PortWaitCaption(left));
    pgbStep->setValue(left);
    if (box) box->setValue(seconds - left);
    return !givenUp && !(box && box->wasCanceled()) && !StopIfEnding();
  });
  disconnect(connection);
  cmdGiveUp->hide();
  lblStepDescription->setToolTip({});
  lblStepDescription->setText(caption);
  ShowProgress();
  port_.TraceNote("ANS", came ? QStringLiteral("back") : QStringLiteral("given up"));
  return came;
}

void MainWindow::Message(const QString &text) {
  port_.TraceNote("MSG", text);
  // The session is ending: no box waits for an OK that will not come.
  if (!endCause_.isEmpty()) return;
  ShowMessage(this, text);
  port_.TraceNote("ANS", QStringLiteral("OK"));
}

PromptAnswer MainWindow::Prompt(PromptKind kind, const QString &text, bool /*again*/) {
  if (StopIfEnding()) return PromptAnswer::Abort;
  where_ = QString(text).replace('\r', ' ');
  promptShown_ = kind;
  Message(text);
  promptShown_.reset();
  return StopIfEnding() ? PromptAnswer::Abort : PromptAnswer::Continue;
}

QString MainWindow::FinishWithBackup(const FinishOffer &offer) {
  const QString question = offer.Said + "\r\r";
  const QString other = QStringLiteral("Other Backup...");
  OfferAnswer answer = OfferAnswer::Other;
  if (offer.Backup) {
    port_.TraceNote("MSG", offer.Said);
    answer = AskOffer(this,
                      question + "Finish the full upload, writing back the identification values of the backup " +
                          DescribeFinishingBackup(*offer.Backup) + "?",
                      other);
  } else if (AskOffer(this, question + "No backup of this controller's unfinished upload was found here. Choose a "
                                       "backup file to finish the full upload with?") == OfferAnswer::No) {
    answer = OfferAnswer::No;
  }
  if (answer == OfferAnswer::Yes) return offer.Backup->Path;
  if (answer == OfferAnswer::No) return {};
  return QFileDialog::getOpenFileName(this, QStringLiteral("Backup of the controller"), WorkingFolder().absolutePath(),
                                      QStringLiteral("Backups (tmpLogWin*.txt backup-*.txt);;All files (*)"));
}

PromptAnswer MainWindow::ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &staysBlank) {
  if (StopIfEnding()) return PromptAnswer::Abort;
  // The dialog stays after a round the controller did not answer: the
  // technician fixes the cable and presses again.
  const RestoreWrite written = [this, write](const IdWindowTexts &texts) {
    const RestoreRound round = write(texts);
    if (round == RestoreRound::Unanswered)
      Message(NotAnsweringText(PortName()) + "\rThen press \"Send and Lock the Controller\" again.");
    return round;
  };
  RestoreDialog dialog(rows, written, WorkingFolder(), this, staysBlank);
  port_.TraceNote("MSG", dialog.windowTitle());
  const bool sent = dialog.exec() == QDialog::Accepted;
  port_.TraceNote("ANS", sent ? dialog.SendButton()->text() : dialog.CancelButton()->text());
  return StopIfEnding() ? PromptAnswer::Abort : PromptAnswer::Continue;
}
