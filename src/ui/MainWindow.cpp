#include "MainWindow.h"

#include "Examination.h"
#include "WindowValueDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "AppIcon.h"
#include "ControllerLine.h"
#include "FileFilter.h"
#include "FontFit.h"
#include "InputGate.h"
#include "Twips.h"
#include "Wait.h"
#include "AboutDialog.h"
#include "PortDialog.h"
#include "RestoreDialog.h"
#include "IdWindows.h"
#include "Message.h"

namespace {

constexpr int ClientWidthTwips = 9210;
const char *const ParameterFilter = "Parameter List (*.txt)|*.txt";
const char *const ProgramFilter = "Program File(*.s19)|*.s19";

template <typename W>
W *Place(W *widget, const char *name, QRect twipsRect) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(twipsRect);
  return widget;
}

QString AskForFile(QWidget *owner, const QString &currentName, const QString &qtFilter) {
  return QFileDialog::getOpenFileName(owner, QString(), currentName, qtFilter);
}

}  // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), OpenFileDialog(AskForFile) {
  setWindowTitle(QStringLiteral("Quorvel Calvenori Uploader"));
  qApp->setWindowIcon(AppIcon());
  gate_ = new InputGate(this);
  BuildControls();
  BuildMenus();
  SetFocusOrder();
  SetStartDefaults();
}

void MainWindow::BuildControls() {
  auto *client = new QWidget(this);
  setCentralWidget(client);

  optParameterList = Place(new QRadioButton(QStringLiteral("Upload Parameter List"), client),
                           "optParameterList", TwipsRect(240, 240, 2415, 255));
  optAll = Place(new QRadioButton(QStringLiteral("Upload Parameter List and Program File"), client),
                 "optAll", TwipsRect(240, 840, 4575, 255));
  cmdStartDownload = Place(new QPushButton(QStringLiteral("Start Upload"), client),
                           "cmdStartDownload", TwipsRect(7560, 360, 1455, 375));
  lblParameterList = Place(new QLabel(QStringLiteral("Select Parameter List:"), client),
                           "lblParameterList", TwipsRect(360, 1560, 1695, 255));
  cmdParameterPath = Place(new QPushButton(QStringLiteral("..."), client), "cmdParameterPath",
                           TwipsRect(2160, 1440, 495, 375));
  lblParameter = Place(new QLabel(client), "lblParameter", TwipsRect(2880, 1440, 6135, 375));
  lblProgramfile = Place(new QLabel(QStringLiteral("Select Program File:"), client),
                         "lblProgramfile", TwipsRect(360, 2160, 1695, 255));
  cmdProgramPath = Place(new QPushButton(QStringLiteral("..."), client), "cmdProgramPath",
                         TwipsRect(2160, 2040, 495, 375));
  lblProgram = Place(new QLabel(client), "lblProgram", TwipsRect(2880, 2040, 6135, 375));

  fraDownloadStatus = Place(new QGroupBox(QStringLiteral("Upload Status"), client),
                            "fraDownloadStatus", TwipsRect(120, 2760, 8895, 1455));
  lblStepDescription = Place(new QLabel(fraDownloadStatus), "lblStepDescription",
                             TwipsRect(240, 360, 7095, 375));
  pgbStep = Place(new QProgressBar(fraDownloadStatus), "pgbStep", TwipsRect(240, 840, 8415, 375));
  pgbStep->setTextVisible(false);
  ShowProgress();

  optParameterList->setChecked(true);
  EnableProgramRow(false);
  FitFonts();

  connect(optAll, &QRadioButton::clicked, this, [this] { ChooseFullMode(); });
  connect(optParameterList, &QRadioButton::clicked, this, [this] { ChooseParameterListMode(); });
  connect(cmdParameterPath, &QPushButton::clicked, this, [this] { BrowseParameterList(); });
  connect(cmdProgramPath, &QPushButton::clicked, this, [this] { BrowseProgramFile(); });
  connect(cmdStartDownload, &QPushButton::clicked, this, [this] { StartUploadClicked(); });
}

void MainWindow::FitFonts() {
  const QStyle *look = style();
  const int indicator = look->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, optAll) +
                        look->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, optAll);
  const int margin = look->pixelMetric(QStyle::PM_ButtonMargin, nullptr, cmdStartDownload);
  const std::vector<CaptionBox> captions = {
      {optParameterList->text(), optParameterList->geometry().adjusted(indicator, 0, 0, 0), false},
      {optAll->text(), optAll->geometry().adjusted(indicator, 0, 0, 0), false},
      {lblParameterList->text(), lblParameterList->geometry(), false},
      {lblProgramfile->text(), lblProgramfile->geometry(), false},
      {cmdStartDownload->text(), cmdStartDownload->geometry().adjusted(margin, 0, -margin, 0),
       false},
  };
  const QFont fitted = FitFont(centralWidget()->font(), captions);
  centralWidget()->setFont(fitted);

  QFont stepFont = fitted;
  stepFont.setStretch(QFont::Unstretched);
  stepFont.setPointSizeF(fitted.pointSizeF() * 1.5);
  lblStepDescription->setFont(stepFont);
}

void MainWindow::BuildMenus() {
  QMenu *mnuTools = menuBar()->addMenu(QStringLiteral("Tools"));
  mnuTools->setObjectName(QStringLiteral("mnuTools"));
  mnuManualDrive = mnuTools->addAction(QStringLiteral("ManualDrive"));
  mnuWinValue = mnuTools->addAction(QStringLiteral("Windows Value Manager"));
  mnuVerifyList = mnuTools->addAction(QStringLiteral("Verify Parameter List"));
  mnuChooseSerialPort = mnuTools->addAction(QStringLiteral("Choose Serial Port"));
  mnuCheckError = mnuTools->addAction(QStringLiteral("Check Errors"));
  mnuCheckError->setCheckable(true);

  QMenu *mnuAbout = menuBar()->addMenu(QStringLiteral("?"));
  mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
  mnuVersion = mnuAbout->addAction(QStringLiteral("About Dovova Zarezoro"));

  mnuManualDrive->setObjectName(QStringLiteral("mnuManualDrive"));
  mnuWinValue->setObjectName(QStringLiteral("mnuWinValue"));
  mnuVerifyList->setObjectName(QStringLiteral("mnuVerifyList"));
  mnuChooseSerialPort->setObjectName(QStringLiteral("mnuChooseSerialPort"));
  mnuCheckError->setObjectName(QStringLiteral("mnuCheckError"));
  mnuVersion->setObjectName(QStringLiteral("mnuVersion"));
  mnuManualDrive->setEnabled(false);

  connect(mnuWinValue, &QAction::triggered, this, [this] { ShowWindowValues(); });
  connect(mnuVerifyList, &QAction::triggered, this, [this] { VerifyParameterListClicked(); });
  connect(mnuChooseSerialPort, &QAction::triggered, this, [this] { ChooseSerialPort(); });
  connect(mnuCheckError, &QAction::triggered, this, [this] { ToggleCheckErrors(); });
  connect(mnuVersion, &QAction::triggered, this, [this] { ShowAbout(); });
}

void MainWindow::SetFocusOrder() {
  setTabOrder(optAll, cmdStartDownload);
  setTabOrder(cmdStartDownload, cmdProgramPath);
  setTabOrder(cmdProgramPath, cmdParameterPath);
  setTabOrder(cmdParameterPath, optParameterList);
  optAll->setFocus();
}

void MainWindow::SetStartDefaults() {
  // The link gets its port from Port(); nothing else holds it.
  resize(TwipsToPixels(ClientWidthTwips), height());
  SetOuterHeightTwips(IdleHeightTwips);
  uploadMode_ = UploadKind::ParameterList;
  comPort_ = 1;
  port_.SetSettings(ControllerLineSettings);
  checkErrors_ = false;
}

void MainWindow::ChooseFullMode() {
  if (busy_) return;
  EnableProgramRow(true);
  uploadMode_ = UploadKind::Full;
}

void MainWindow::ChooseParameterListMode() {
  if (busy_) return;
  EnableProgramRow(false);
  uploadMode_ = UploadKind::ParameterList;
}

void MainWindow::EnableProgramRow(bool enabled) {
  cmdProgramPath->setEnabled(enabled);
  lblProgram->setEnabled(enabled);
  lblProgramfile->setEnabled(enabled);
}

void MainWindow::BrowseParameterList() { ChooseFile(parameterFile_, lblParameter, ParameterFilter); }

void MainWindow::BrowseProgramFile() { ChooseFile(programFile_, lblProgram, ProgramFilter); }

// A cancelled dialog keeps the earlier choice; the label shows the current one.
void MainWindow::ChooseFile(QString &name, QLabel *label, const char *filter) {
  if (busy_) return;
  const QString chosen = OpenFileDialog(this, name, QtFileFilter(QString::fromLatin1(filter)));
  if (!chosen.isEmpty()) name = chosen;
  label->setText(QDir::toNativeSeparators(name));
}

void MainWindow::StartUploadClicked() {
  if (busy_) return;
  if (OnStartUpload) OnStartUpload();
  else StartUpload(*this, WorkingFolder());
}

void MainWindow::ChooseSerialPort() {
  if (busy_) return;
  PortDialog dialog(port_, comPort_, this, comPortDevice_);
  if (dialog.exec() != QDialog::Accepted) return;
  comPort_ = dialog.ChosenPort();
  comPortDevice_ = dialog.ChosenDevice();
}

void MainWindow::ShowWindowValues() {
  if (busy_) return;
  WindowValueDialog dialog(*this, [this](int number, const QString &device) {
    comPort_ = qint16(number);
    comPortDevice_ = device;
  }, WorkingFolder(), this);
  dialog.exec();
}

// On the list chosen above; nothing in the controller is written.
void MainWindow::VerifyParameterListClicked() {
  if (busy_) return;
  RunVerify(*this, WorkingFolder());
}

void MainWindow::ToggleCheckErrors() {
  if (busy_) return;
  // The action ticked or unticked itself before it fired.
  checkErrors_ = mnuCheckError->isChecked();
}

void MainWindow::ShowAbout() {
  if (busy_) return;
  AboutDialog about(this);
  about.exec();
}

void MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  gate_->SetShut(busy);
  // A disabled action ignores even a direct trigger; the greyed look cannot be
  // seen because the menus do not open while busy.
  for (QAction *item : {mnuWinValue, mnuVerifyList, mnuChooseSerialPort, mnuCheckError, mnuVersion}) item->setEnabled(!busy);
}

void MainWindow::closeEvent(QCloseEvent *event) {
  if (busy_)
    event->ignore();
  else
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) SetOuterHeightTwips(outerHeightTwips_);
}

void MainWindow::moveEvent(QMoveEvent *event) {
  QMainWindow::moveEvent(event);
  // The window manager reports its frame some time after the window shows,
  // by moving the client into it; the outer height has to count that frame.
  if (DecorationHeight() != appliedDecoration_) SetOuterHeightTwips(outerHeightTwips_);
}

int MainWindow::DecorationHeight() const {
  const int frame = frameGeometry().height() - geometry().height();
  const int above = geometry().top() - frameGeometry().top();
  // Without a window manager (offscreen, or before the first show) there is
  // no title bar to measure: count one of the style's.
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  return above >= titleBar / 2 ? frame : frame + titleBar;
}

int MainWindow::OuterHeightPixels() const { return geometry().height() + DecorationHeight(); }

void MainWindow::SetOuterHeightTwips(int twips) {
  outerHeightTwips_ = twips;
  appliedDecoration_ = DecorationHeight();
  resize(width(), qMax(1, TwipsToPixels(twips) - DecorationHeight()));
}

int MainWindow::OuterHeightTwips() const { return PixelsToTwips(OuterHeightPixels()); }

void MainWindow::SetStep(Step step) {
  const QString caption = StepCaption(step);
  port_.TraceNote("STEP", caption);
  lblStepDescription->setText(caption);
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

void MainWindow::Wait(double seconds) { ::Wait(seconds); }

void MainWindow::Message(const QString &text) {
  port_.TraceNote("MSG", text);
  ShowMessage(this, text);
  port_.TraceNote("ANS", QStringLiteral("OK"));
}

PromptAnswer MainWindow::Prompt(PromptKind kind, const QString &text, bool /*again*/) {
  promptShown_ = kind;
  Message(text);
  promptShown_.reset();
  return PromptAnswer::Continue;
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
                                      QStringLiteral("Backups (tmpLogWin*.txt);;All files (*)"));
}

PromptAnswer MainWindow::ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write) {
  // The dialog stays after a round the controller did not answer: the
  // technician fixes the cable and presses again.
  const RestoreWrite written = [this, write](const IdWindowTexts &texts) {
    const RestoreRound round = write(texts);
    if (round == RestoreRound::Unanswered)
      Message(NotAnsweringText(PortName()) + "\rThen press \"Send and Lock the Controller\" again.");
    return round;
  };
  RestoreDialog dialog(rows, written, WorkingFolder(), this);
  port_.TraceNote("MSG", dialog.windowTitle());
  const bool sent = dialog.exec() == QDialog::Accepted;
  port_.TraceNote("ANS", sent ? dialog.SendButton()->text() : dialog.CancelButton()->text());
  return PromptAnswer::Continue;
}
