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
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "AppIcon.h"
#include "ControllerLine.h"
#include "FileFilter.h"
#include "FontFit.h"
#include "InputGate.h"
#include "Twips.h"
#include "AboutDialog.h"
#include "Journal.h"
#include "PortDialog.h"
#include "PortList.h"
#include "PortProbe.h"
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
  cmdGiveUp = Place(new QPushButton(QStringLiteral("Give Up"), fraDownloadStatus), "cmdGiveUp",
                    TwipsRect(7455, 300, 1200, 450));
  cmdGiveUp->hide();
  gate_->LetThrough(cmdGiveUp);
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
  if (OnStartUpload) return OnStartUpload();
  const QDir folder = WorkingFolder();
  FinishRequest request;
  switch (OfferFinish(folder, request)) {
    case FinishChoice::Plain: StartUpload(*this, folder); break;
    case FinishChoice::Finish: RunUpload(*this, folder, &request); break;
    case FinishChoice::Neither: break;
  }
}

namespace {

// The window's own file, when it is the one an attempt began with.
QString IfSame(const QString &chosen, const QString &sha256) {
  return !chosen.isEmpty() && FileSha256(chosen) == sha256 ? chosen : QString();
}

// The attempt, what its controller needs, and whose values a finish writes back.
QString FinishOfferText(const UnfinishedAttempt &attempt, const QString &values) {
  const QString question = values.isEmpty() && attempt.What != Remains::Lock
                               ? QStringLiteral("Finish it? No backup of it holds the controller's identification "
                                                "values: a backup of this controller is asked for next.")
                               : "Finish it? " + AttemptValuesText(attempt, values);
  return QStringLiteral("%1 did not finish.\r%2\r\r%3\r\rNo: the upload as chosen here.")
      .arg(DescribeAttempt(attempt), NeedsText(attempt.Kind, attempt.What), question);
}

}  // namespace

MainWindow::FinishChoice MainWindow::OfferFinish(const QDir &folder, FinishRequest &request) {
  const QString device = comPortDevice_.isEmpty() ? PortDeviceName(comPort_) : comPortDevice_;
  const std::optional<UnfinishedAttempt> attempt = NewestUnfinished(JournalPathFor(folder), folder, device);
  if (!attempt) return FinishChoice::Plain;
  const QString values = attempt->OwnBackupHoldsValues ? attempt->OwnBackup : QString();
  const QString text = FinishOfferText(*attempt, values);
  port_.TraceNote("MSG", text);
  const bool finish = AskOffer(this, text) == OfferAnswer::Yes;
  port_.TraceNote("ANS", finish ? QStringLiteral("Yes") : QStringLiteral("No"));
  if (!finish) return FinishChoice::Plain;
  request = {*attempt, values};
  if (request.ValuesFrom.isEmpty() && attempt->What != Remains::Lock) {
    request.ValuesFrom = QFileDialog::getOpenFileName(this, QStringLiteral("Backup of the controller"), folder.absolutePath(),
                                                      QStringLiteral("Backups (tmpLogWin*.txt backup-*.txt);;All files (*)"));
    if (request.ValuesFrom.isEmpty()) return FinishChoice::Neither;
  }
  return ShowFinishFiles(*attempt) ? FinishChoice::Finish : FinishChoice::Neither;
}

bool MainWindow::ShowFinishFiles(const UnfinishedAttempt &attempt) {
  const Checked<QString> params = FinishFile(attempt.Line.ParameterList, attempt.Line.ParameterListSha256,
                                             IfSame(parameterFile_, attempt.Line.ParameterListSha256));
  Checked<QString> program{QString(), {}};
  if (params && FinishSendsProgram(attempt))
    program = FinishFile(attempt.Line.ProgramFile, attempt.Line.ProgramFileSha256,
                         IfSame(programFile_, attempt.Line.ProgramFileSha256));
  if (!params || !program) {
    Message((params ? program.Why : params.Why) + "\rChoose that file here and start the upload again.");
    return false;
  }
  // The window shows what the finish sends.
  (attempt.Kind == UploadKind::Full ? optAll : optParameterList)->setChecked(true);
  attempt.Kind == UploadKind::Full ? ChooseFullMode() : ChooseParameterListMode();
  parameterFile_ = *params;
  lblParameter->setText(QDir::toNativeSeparators(*params));
  if (!program->isEmpty()) {
    programFile_ = *program;
    lblProgram->setText(QDir::toNativeSeparators(*program));
  }
  return true;
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
  if (!busy) {
    stopping_ = false;
    // Ended once the upload is out of the way, not from inside it.
    if (!endCause_.isEmpty()) QTimer::singleShot(0, this, [this] { EndSessionNow(); });
  }
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

// Windows asks before it ends the session: an upload running blocks it, with
// the reason shown, until it has stopped safely and written its journal line.
bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, qintptr *result) {
#ifdef Q_OS_WIN
  const MSG *msg = static_cast<const MSG *>(message);
  if (eventType == "windows_generic_MSG" && msg->message == WM_QUERYENDSESSION && busy_) {
    ::ShutdownBlockReasonCreate(reinterpret_cast<HWND>(winId()),
                                L"An upload to a pump controller is being stopped safely.");
    EndSession(QStringLiteral("the end of the Windows session"));
    *result = FALSE;
    return true;
  }
#else
  Q_UNUSED(eventType)
  Q_UNUSED(message)
  Q_UNUSED(result)
#endif
  return QMainWindow::nativeEvent(eventType, message, result);
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
