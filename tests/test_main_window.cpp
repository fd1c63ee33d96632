// The main window: start-up state, the technician's choices, what the upload
// steps see of it, the pause and the busy state.

#include <QAction>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QDir>
#include <QtTest>

#include "AppIcon.h"
#include "FileFilter.h"
#include "Message.h"
#include "ModalWatch.h"
#include "Twips.h"
#include "Wait.h"
#include "MainWindow.h"
#include "IdWindows.h"

namespace {

// Stands in for the file dialog: hands out the queued answers in turn and
// remembers what it was asked.
struct FakeFileDialog {
  QStringList answers;  // a null string is a cancel
  QStringList filters;
  QStringList currentNames;

  MainWindow::FileDialog Hook() {
    return [this](QWidget *, const QString &currentName, const QString &filter) {
      filters << filter;
      currentNames << currentName;
      return answers.isEmpty() ? QString() : answers.takeFirst();
    };
  }
};

template <typename W>
W *Child(const MainWindow &window, const char *name) {
  W *child = window.findChild<W *>(QString::fromLatin1(name));
  if (!child) qFatal("no control %s", name);
  return child;
}

void Click(QWidget *widget) { QTest::mouseClick(widget, Qt::LeftButton); }

// Top of the status frame in the client area, against the client's height.
// The idle height hides the frame behind a Windows title bar, borders and
// menu bar, 46 pixels in all; a thinner window system (Wine draws a 23-pixel
// title bar and no border) may show the shortfall of it, and no more.
bool StatusFrameHidden(const MainWindow &window) {
  const QWidget *client = window.centralWidget();
  const auto *frame = Child<QGroupBox>(window, "fraDownloadStatus");
  const int nonClient = TwipsToPixels(window.OuterHeightTwips()) - client->height();
  return frame->mapTo(client, QPoint(0, 0)).y() >= client->height() - qMax(0, 46 - nonClient);
}

bool StatusFrameShown(const MainWindow &window) {
  const QWidget *client = window.centralWidget();
  const auto *frame = Child<QGroupBox>(window, "fraDownloadStatus");
  return frame->mapTo(client, QPoint(0, frame->height())).y() <= client->height();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithEveryDefault();
  void outerHeightCountsTheTitleBarAndMovesTheStatusFrame();
  void modeRoundTripKeepsTheProgramFile();
  void checkErrorsTwiceRestoresTickAndValue();
  void cancelledFileDialogKeepsTheEarlierName();
  void fileFiltersReachTheDialogInQtForm_data();
  void fileFiltersReachTheDialogInQtForm();
  void waitPausesWithoutHandlingEvents();
  void waitOfZeroOrLessReturnsAtOnce();
  void stepsSeeCaptionAndClampedProgress();
  void startUploadCallsTheHookWhenIdle();
  void busyWindowIgnoresControlsMenusAndClose();
  void busyWindowStillLetsItsMessagesBeAnswered();
  void messagesCarryTheTitleOneOkAndNoIcon();
  void everyWindowCarriesTheProgramIcon();
  void desktopMenuGetsTheSameIcon();
};

void MainWindowTest::startsWithEveryDefault() {
  MainWindow window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel Calvenori Uploader"));
  QVERIFY(Child<QRadioButton>(window, "optParameterList")->isChecked());
  QVERIFY(!Child<QRadioButton>(window, "optAll")->isChecked());
  QVERIFY(window.UploadMode() == UploadKind::ParameterList);
  QCOMPARE(window.ComPort(), 1);
  QVERIFY(!window.CheckErrors());
  QVERIFY(!Child<QAction>(window, "mnuCheckError")->isChecked());

  QVERIFY(!Child<QLabel>(window, "lblProgramfile")->isEnabled());
  QVERIFY(!Child<QPushButton>(window, "cmdProgramPath")->isEnabled());
  QVERIFY(!Child<QLabel>(window, "lblProgram")->isEnabled());
  QVERIFY(Child<QPushButton>(window, "cmdParameterPath")->isEnabled());
  QVERIFY(Child<QPushButton>(window, "cmdStartDownload")->isEnabled());
  QVERIFY(Child<QLabel>(window, "lblParameter")->text().isEmpty());
  QVERIFY(window.ParameterFile().isEmpty());
  QVERIFY(window.ProgramFile().isEmpty());

  QVERIFY(!Child<QAction>(window, "mnuManualDrive")->isEnabled());
  QVERIFY(Child<QAction>(window, "mnuWinValue")->isEnabled());
  QVERIFY(Child<QAction>(window, "mnuVerifyList")->isEnabled());
  QVERIFY(Child<QAction>(window, "mnuChooseSerialPort")->isEnabled());
  QStringList menus;
  for (QAction *menu : window.menuBar()->actions()) menus << menu->text();
  QCOMPARE(menus, QStringList({"Tools", "?"}));
  QStringList tools;
  for (QAction *item : Child<QMenu>(window, "mnuTools")->actions()) tools << item->text();
  QCOMPARE(tools, QStringList({"ManualDrive", "Windows Value Manager", "Verify Parameter List",
                               "Choose Serial Port", "Check Errors"}));

  QCOMPARE(window.Port().Settings(), QStringLiteral("9600,N,8,1"));
  QVERIFY(!window.Port().IsOpen());
  const IdBackup rows = BlankBackup();
  QCOMPARE(rows[0].Win, 310);
  QCOMPARE(rows[8].Win, 325);
  QCOMPARE(rows[2].DataType, QByteArray("A"));

  const auto *bar = Child<QProgressBar>(window, "pgbStep");
  QCOMPARE(bar->minimum(), 0);
  QCOMPARE(bar->maximum(), 100);
  QCOMPARE(bar->value(), 0);

  QCOMPARE(window.centralWidget()->width(), 9210 / 15);
  QVERIFY(qAbs(window.OuterHeightTwips() - 3450) < 15);
  QVERIFY(StatusFrameHidden(window));

  // Tab order as the technician walks it.
  const QList<QWidget *> order = {
      Child<QWidget>(window, "optAll"), Child<QWidget>(window, "cmdStartDownload"),
      Child<QWidget>(window, "cmdProgramPath"), Child<QWidget>(window, "cmdParameterPath"),
      Child<QWidget>(window, "optParameterList")};
  QList<QWidget *> walked;
  for (QWidget *w = order[0]; walked.size() < order.size(); w = w->nextInFocusChain())
    if (order.contains(w)) walked << w;
  QCOMPARE(walked, order);
}

void MainWindowTest::outerHeightCountsTheTitleBarAndMovesTheStatusFrame() {
  MainWindow window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const int clientAtLoad = window.centralWidget()->height();

  window.SetOuterHeightTwips(5000);
  QVERIFY(qAbs(window.OuterHeightTwips() - 5000) < 15);
  QCOMPARE(window.centralWidget()->height(), clientAtLoad + (5000 - 3450) / 15);
  QVERIFY(StatusFrameShown(window));
  // The title bar is part of the outer height, not of the client.
  QVERIFY(window.geometry().height() < 5000 / 15);

  window.SetOuterHeightTwips(3450);
  QVERIFY(qAbs(window.OuterHeightTwips() - 3450) < 15);
  QVERIFY(StatusFrameHidden(window));
}

void MainWindowTest::modeRoundTripKeepsTheProgramFile() {
  MainWindow window;
  FakeFileDialog files;
  files.answers << "/data/firmware.s19";
  window.OpenFileDialog = files.Hook();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  auto *optAll = Child<QRadioButton>(window, "optAll");
  auto *optParameterList = Child<QRadioButton>(window, "optParameterList");
  auto *cmdProgramPath = Child<QPushButton>(window, "cmdProgramPath");

  Click(optAll);
  QVERIFY(window.UploadMode() == UploadKind::Full);
  QVERIFY(cmdProgramPath->isEnabled());
  QVERIFY(Child<QLabel>(window, "lblProgram")->isEnabled());
  QVERIFY(Child<QLabel>(window, "lblProgramfile")->isEnabled());
  Click(cmdProgramPath);
  QCOMPARE(window.ProgramFile(), QStringLiteral("/data/firmware.s19"));

  Click(optParameterList);
  QVERIFY(window.UploadMode() == UploadKind::ParameterList);
  QVERIFY(!cmdProgramPath->isEnabled());
  QVERIFY(!Child<QLabel>(window, "lblProgram")->isEnabled());
  QCOMPARE(window.ProgramFile(), QStringLiteral("/data/firmware.s19"));

  Click(optAll);
  QVERIFY(window.UploadMode() == UploadKind::Full);
  QCOMPARE(window.ProgramFile(), QStringLiteral("/data/firmware.s19"));
  QCOMPARE(Child<QLabel>(window, "lblProgram")->text(), QDir::toNativeSeparators("/data/firmware.s19"));
}

void MainWindowTest::checkErrorsTwiceRestoresTickAndValue() {
  MainWindow window;
  auto *mnuCheckError = Child<QAction>(window, "mnuCheckError");

  mnuCheckError->trigger();
  QVERIFY(mnuCheckError->isChecked());
  QVERIFY(window.CheckErrors());

  mnuCheckError->trigger();
  QVERIFY(!mnuCheckError->isChecked());
  QVERIFY(!window.CheckErrors());
}

void MainWindowTest::cancelledFileDialogKeepsTheEarlierName() {
  MainWindow window;
  FakeFileDialog files;
  files.answers << QString() << "/lists/a.txt" << QString();
  window.OpenFileDialog = files.Hook();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  auto *cmdParameterPath = Child<QPushButton>(window, "cmdParameterPath");
  auto *lblParameter = Child<QLabel>(window, "lblParameter");

  Click(cmdParameterPath);  // cancelled before any choice
  QVERIFY(window.ParameterFile().isEmpty());
  QVERIFY(lblParameter->text().isEmpty());

  Click(cmdParameterPath);
  QCOMPARE(window.ParameterFile(), QStringLiteral("/lists/a.txt"));
  // The label shows the platform's separators (backslashes on Windows).
  QCOMPARE(lblParameter->text(), QDir::toNativeSeparators("/lists/a.txt"));

  Click(cmdParameterPath);  // cancelled after a choice
  QCOMPARE(window.ParameterFile(), QStringLiteral("/lists/a.txt"));
  QCOMPARE(lblParameter->text(), QDir::toNativeSeparators("/lists/a.txt"));
  // The dialog reopens on the current choice.
  QCOMPARE(files.currentNames.last(), QStringLiteral("/lists/a.txt"));
  QVERIFY(window.ProgramFile().isEmpty());
}

void MainWindowTest::fileFiltersReachTheDialogInQtForm_data() {
  QTest::addColumn<QString>("barForm");
  QTest::addColumn<QString>("qtForm");
  QTest::newRow("parameter list") << "Parameter List (*.txt)|*.txt" << "Parameter List (*.txt)";
  QTest::newRow("program file") << "Program File(*.s19)|*.s19" << "Program File(*.s19)";
  QTest::newRow("pattern not shown") << "Text|*.txt" << "Text (*.txt)";
  QTest::newRow("several patterns") << "Lists|*.txt;*.lst" << "Lists (*.txt *.lst)";
  QTest::newRow("several filters") << "A|*.a|B (*.b)|*.b" << "A (*.a);;B (*.b)";
}

void MainWindowTest::fileFiltersReachTheDialogInQtForm() {
  QFETCH(QString, barForm);
  QFETCH(QString, qtForm);
  QCOMPARE(QtFileFilter(barForm), qtForm);

  MainWindow window;
  FakeFileDialog files;
  window.OpenFileDialog = files.Hook();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Click(Child<QPushButton>(window, "cmdParameterPath"));
  Click(Child<QRadioButton>(window, "optAll"));
  Click(Child<QPushButton>(window, "cmdProgramPath"));
  QCOMPARE(files.filters, QStringList({"Parameter List (*.txt)", "Program File(*.s19)"}));
}

void MainWindowTest::waitPausesWithoutHandlingEvents() {
  MainWindow window;
  bool handled = false;
  QTimer::singleShot(0, &window, [&] { handled = true; });

  QElapsedTimer clock;
  clock.start();
  window.Wait(0.5);
  QVERIFY(clock.elapsed() >= 500);
  QVERIFY(!handled);

  QCoreApplication::processEvents();
  QVERIFY(handled);
}

void MainWindowTest::waitOfZeroOrLessReturnsAtOnce() {
  MainWindow window;
  bool handled = false;
  QTimer::singleShot(0, &window, [&] { handled = true; });
  window.Wait(0);
  window.Wait(-2.5);
  QVERIFY(!handled);
  // Only a pause that ignored the sign would take long.
  QCOMPARE(PauseNs(0.5), qint64(500'000'000));
  QCOMPARE(PauseNs(0), qint64(0));
  QCOMPARE(PauseNs(-2.5), qint64(0));
  QCOMPARE(PauseNs(qQNaN()), qint64(0));
}

void MainWindowTest::stepsSeeCaptionAndClampedProgress() {
  MainWindow window;
  UploadHost &host = window;
  const auto *bar = Child<QProgressBar>(window, "pgbStep");
  const auto *caption = Child<QLabel>(window, "lblStepDescription");

  host.SetStep(Step::SendingProgram);
  QCOMPARE(caption->text(), QStringLiteral("Sending Program File"));
  const qreal ratio = caption->font().pointSizeF() /
                      Child<QLabel>(window, "lblParameterList")->font().pointSizeF();
  QVERIFY2(ratio > 1.3 && ratio < 1.7, qPrintable(QString::number(ratio)));

  host.SetProgressMin(0);
  host.SetProgressMax(5);
  host.SetProgressValue(3);
  QCOMPARE(host.ProgressValue(), 3);
  QCOMPARE(bar->maximum(), 5);
  QCOMPARE(bar->value(), 3);

  host.SetProgressValue(9);
  QCOMPARE(host.ProgressValue(), 5);
  QCOMPARE(bar->value(), 5);
  host.SetProgressValue(-1);
  QCOMPARE(host.ProgressValue(), 0);
  QCOMPARE(bar->value(), 0);

  // A new scale below the value pulls the value in.
  host.SetProgressValue(5);
  host.SetProgressMax(2);
  QCOMPARE(host.ProgressValue(), 2);
  QCOMPARE(bar->value(), 2);
  QCOMPARE(bar->maximum(), 2);
  host.SetProgressMin(4);
  QCOMPARE(window.ProgressMin(), 4);
  QCOMPARE(window.ProgressMax(), 4);
  QCOMPARE(host.ProgressValue(), 4);
  QCOMPARE(bar->minimum(), 4);
  QCOMPARE(bar->value(), 4);

  QCOMPARE(&host.Port(), &window.Port());
}

void MainWindowTest::startUploadCallsTheHookWhenIdle() {
  MainWindow window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  auto *start = Child<QPushButton>(window, "cmdStartDownload");
  // Without a hook the upload itself runs: with no file chosen it only says so.
  QString said;
  OnNextModal<QMessageBox>([&](QMessageBox *box) {
    said = box->text();
    box->accept();
  });
  Click(start);
  QCOMPARE(said, QStringLiteral("Select a valid parameter list!"));

  int calls = 0;
  window.OnStartUpload = [&] { ++calls; };
  Click(start);
  QCOMPARE(calls, 1);
}

void MainWindowTest::busyWindowIgnoresControlsMenusAndClose() {
  MainWindow window;
  FakeFileDialog files;
  files.answers << "/lists/b.txt";
  window.OpenFileDialog = files.Hook();
  int starts = 0;
  window.OnStartUpload = [&] { ++starts; };
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  auto *optAll = Child<QRadioButton>(window, "optAll");
  auto *start = Child<QPushButton>(window, "cmdStartDownload");
  auto *mnuTools = Child<QMenu>(window, "mnuTools");
  const QRect toolsTitle = window.menuBar()->actionGeometry(mnuTools->menuAction());

  window.SetBusy(true);
  Click(optAll);
  Click(Child<QPushButton>(window, "cmdParameterPath"));
  Click(start);
  start->setFocus();
  QTest::keyClick(start, Qt::Key_Space);
  Child<QAction>(window, "mnuCheckError")->trigger();
  Child<QAction>(window, "mnuChooseSerialPort")->trigger();
  Child<QAction>(window, "mnuVersion")->trigger();
  Child<QAction>(window, "mnuWinValue")->trigger();
  Child<QAction>(window, "mnuVerifyList")->trigger();
  QTest::mouseClick(window.menuBar(), Qt::LeftButton, {}, toolsTitle.center());

  QVERIFY(!optAll->isChecked());
  QVERIFY(window.UploadMode() == UploadKind::ParameterList);
  QVERIFY(files.filters.isEmpty());
  QCOMPARE(starts, 0);
  QVERIFY(!window.CheckErrors());
  QVERIFY(!Child<QAction>(window, "mnuCheckError")->isChecked());
  QVERIFY(!mnuTools->isVisible());
  QVERIFY(!QApplication::activeModalWidget());
  QVERIFY(!window.close());
  QVERIFY(window.isVisible());
  // The window keeps its look: nothing is greyed out for the upload.
  QVERIFY(optAll->isEnabled());
  QVERIFY(start->isEnabled());
  QVERIFY(Child<QProgressBar>(window, "pgbStep")->isEnabled());

  window.SetBusy(false);
  Click(optAll);
  QVERIFY(window.UploadMode() == UploadKind::Full);
  Click(Child<QPushButton>(window, "cmdParameterPath"));
  QCOMPARE(window.ParameterFile(), QStringLiteral("/lists/b.txt"));
  Click(start);
  QCOMPARE(starts, 1);
  Child<QAction>(window, "mnuCheckError")->trigger();
  QVERIFY(window.CheckErrors());
  QVERIFY(!Child<QAction>(window, "mnuManualDrive")->isEnabled());
  QTest::mouseClick(window.menuBar(), Qt::LeftButton, {}, toolsTitle.center());
  QTRY_VERIFY(mnuTools->isVisible());
  mnuTools->close();
  QVERIFY(window.close());
}

void MainWindowTest::busyWindowStillLetsItsMessagesBeAnswered() {
  MainWindow window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  window.SetBusy(true);

  bool closedByClick = false;
  auto answered = OnNextModal<QMessageBox>([&](QMessageBox *box) {
    Click(box->button(QMessageBox::Ok));
    closedByClick = !box->isVisible();
    if (!closedByClick) box->done(0);  // don't hang the test
  });
  ShowMessage(&window, QStringLiteral("Please switch OFF the controller,"));
  QVERIFY(*answered);
  QVERIFY(closedByClick);
}

void MainWindowTest::messagesCarryTheTitleOneOkAndNoIcon() {
  MainWindow window;
  QString title, text;
  int buttons = 0;
  QMessageBox::Icon icon = QMessageBox::Critical;
  auto seen = OnNextModal<QMessageBox>([&](QMessageBox *box) {
    title = box->windowTitle();
    text = box->text();
    buttons = box->buttons().size();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  ShowMessage(&window, QStringLiteral("Controller in monitor mode.\rSwitch it off!"));
  QVERIFY(*seen);
  QCOMPARE(title, QStringLiteral("Calvenori Uploader"));
  QCOMPARE(buttons, 1);
  QCOMPARE(icon, QMessageBox::NoIcon);
  // The lone carriage return is shown as the line break it stands for.
  QCOMPARE(text, QStringLiteral("Controller in monitor mode.\nSwitch it off!"));
}

void MainWindowTest::everyWindowCarriesTheProgramIcon() {
  MainWindow window;
  const QImage icon = AppIcon().pixmap(16, 16).toImage();
  QCOMPARE(icon.size(), QSize(16, 16));
  QCOMPARE(window.windowIcon().pixmap(16, 16).toImage(), icon);
  QCOMPARE(QApplication::windowIcon().pixmap(16, 16).toImage(), icon);

  QImage boxIcon;
  auto seen = OnNextModal<QMessageBox>([&](QMessageBox *box) {
    boxIcon = box->windowIcon().pixmap(16, 16).toImage();
    box->accept();
  });
  ShowMessage(&window, QStringLiteral("x"));
  QVERIFY(*seen);
  QCOMPARE(boxIcon, icon);
}

void MainWindowTest::desktopMenuGetsTheSameIcon() {
  const QString shipped = QFINDTESTDATA("../packaging/icons/16/calvenori-uploader.png");
  QVERIFY(!shipped.isEmpty());
  const QImage program = AppIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  QCOMPARE(QImage(shipped).convertToFormat(QImage::Format_ARGB32), program);
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
