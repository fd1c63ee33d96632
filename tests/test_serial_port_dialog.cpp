// The serial port dialog against pseudo-terminals: which ports it lists, which
// it selects, and what "OK" stores; and that a port whose open does not return
// neither holds the dialog up nor hurts it when it returns after all.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QSemaphore>
#include <QSerialPort>
#include <QThread>
#include <QtTest>

#include <map>
#include <memory>
#include <vector>

#include "ModalWatch.h"
#include "Pty.h"
#include "SerialPort.h"
#include "MainWindow.h"
#include "PortDialog.h"

namespace {

const QString Missing = QStringLiteral("/nonexistent/ttyX");

void SetPorts(const QStringList &devices) {
  qputenv("CALVENORI_PORTS", devices.join(',').toLocal8Bit());
}

QComboBox *List(PortDialog &dialog) {
  return dialog.findChild<QComboBox *>(QStringLiteral("cboSerialPort"));
}

QStringList Entries(PortDialog &dialog) {
  QStringList entries;
  for (int i = 0; i < List(dialog)->count(); ++i) entries << List(dialog)->itemText(i);
  return entries;
}

void PressOk(PortDialog &dialog) {
  QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
}

}  // namespace

class SerialPortDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void listsOpenablePortsAndSelectsComPort();
  void selectsTheFirstWhenComPortCannotBeOpened();
  void leavesOutAPortHeldElsewhere();
  void warnsWhenNoPortOpens();
  void showsTheDeviceOfTheSelectedNumber();
  void typedNumberIsStoredByOk();
  void textThatIsNoPortNumberKeepsTheDialogOpen();
  void closingWithoutOkChangesNothing();
  void leavesAnOpenPortAlone();
  void aPortThatDoesNotAnswerIsNamedNotWaitedFor();

 private:
  Pty one_, three_;
  SerialPort port_;
};

void SerialPortDialogTest::listsOpenablePortsAndSelectsComPort() {
  SetPorts({one_.path, Missing + "2", three_.path, Missing + "4"});
  PortDialog dialog(port_, 3, nullptr);
  QTRY_VERIFY(!dialog.Probing());
  QCOMPARE(Entries(dialog), QStringList({"1", "3"}));
  QCOMPARE(List(dialog)->currentText(), QStringLiteral("3"));
  // The probe leaves the port closed for the next upload.
  QVERIFY(!port_.IsOpen());
}

void SerialPortDialogTest::selectsTheFirstWhenComPortCannotBeOpened() {
  SetPorts({one_.path, Missing + "2", three_.path, Missing + "4", Missing + "5"});
  PortDialog dialog(port_, 5, nullptr);
  QTRY_VERIFY(!dialog.Probing());
  QCOMPARE(Entries(dialog), QStringList({"1", "3"}));
  QCOMPARE(List(dialog)->currentIndex(), 0);
  QCOMPARE(List(dialog)->currentText(), QStringLiteral("1"));
}

void SerialPortDialogTest::leavesOutAPortHeldElsewhere() {
  SetPorts({one_.path, Missing + "2", three_.path});
  QSerialPort other(one_.path);
  QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));

  PortDialog dialog(port_, 1, nullptr);
  QTRY_VERIFY(!dialog.Probing());
  QCOMPARE(Entries(dialog), QStringList({"3"}));
  QCOMPARE(List(dialog)->currentText(), QStringLiteral("3"));
  other.close();
}

void SerialPortDialogTest::warnsWhenNoPortOpens() {
  SetPorts({Missing + "1", Missing + "2"});
  MainWindow window;
  QString title, text;
  int buttons = 0;
  QMessageBox::Icon icon = QMessageBox::Critical;
  QStringList entries;
  int selected = 0;
  auto warned = OnNextModal<QMessageBox>([&](QMessageBox *box) {
    title = box->windowTitle();
    text = box->text();
    buttons = box->buttons().size();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
    // The dialog stays open behind the message, with nothing in its list.
    OnNextModal<PortDialog>([&](PortDialog *dialog) {
      entries = Entries(*dialog);
      selected = List(*dialog)->currentIndex();
      dialog->reject();
    });
  });
  window.findChild<QAction *>(QStringLiteral("mnuChooseSerialPort"))->trigger();

  QVERIFY(*warned);
  QCOMPARE(text, QStringLiteral("No COM Port available on this PC"));
  QCOMPARE(title, QStringLiteral("Calvenori Uploader"));
  QCOMPARE(buttons, 1);
  QCOMPARE(icon, QMessageBox::NoIcon);
  QVERIFY(entries.isEmpty());
  QCOMPARE(selected, -1);
  QCOMPARE(window.ComPort(), 1);
}

void SerialPortDialogTest::showsTheDeviceOfTheSelectedNumber() {
  SetPorts({one_.path, Missing + "2", three_.path});
  PortDialog dialog(port_, 3, nullptr);
  QTRY_VERIFY(!dialog.Probing());
  const auto *device = dialog.findChild<QLabel *>(QStringLiteral("lblDevice"));
  QVERIFY(device->text().startsWith(three_.path));

  List(dialog)->setCurrentIndex(0);
  QVERIFY(device->text().startsWith(one_.path));
  // A typed number that names no device says so rather than showing a stale path.
  List(dialog)->setEditText(QStringLiteral("9"));
  QVERIFY(!device->text().contains(one_.path));
  QVERIFY(device->text().contains(QStringLiteral("9")));
}

void SerialPortDialogTest::typedNumberIsStoredByOk() {
  SetPorts({one_.path, Missing + "2", three_.path});
  MainWindow window;
  window.SetComPort(3);
  auto typed = OnNextModal<PortDialog>([](PortDialog *dialog) {
    QTRY_VERIFY(!dialog->Probing());
    QComboBox *list = List(*dialog);
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), QStringLiteral("7"));
    PressOk(*dialog);
  });
  window.findChild<QAction *>(QStringLiteral("mnuChooseSerialPort"))->trigger();
  QVERIFY(*typed);
  QCOMPARE(window.ComPort(), 7);

  auto picked = OnNextModal<PortDialog>([](PortDialog *dialog) {
    QTRY_VERIFY(!dialog->Probing());
    List(*dialog)->setCurrentIndex(0);
    PressOk(*dialog);
  });
  window.findChild<QAction *>(QStringLiteral("mnuChooseSerialPort"))->trigger();
  QVERIFY(*picked);
  QCOMPARE(window.ComPort(), 1);
}

void SerialPortDialogTest::textThatIsNoPortNumberKeepsTheDialogOpen() {
  SetPorts({one_.path});
  PortDialog dialog(port_, 1, nullptr);
  QTRY_VERIFY(!dialog.Probing());
  dialog.show();
  for (const QString &text : {QStringLiteral("abc"), QStringLiteral("0"), QStringLiteral("256"),
                              QStringLiteral("2.5"), QString()}) {
    List(dialog)->setEditText(text);
    QString message;
    auto told = OnNextModal<QMessageBox>([&](QMessageBox *box) {
      message = box->text();
      box->accept();
    });
    PressOk(dialog);
    QVERIFY2(*told, qPrintable(text));
    QVERIFY(!message.isEmpty());
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }
  List(dialog)->setEditText(QStringLiteral(" 255 "));
  PressOk(dialog);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.ChosenPort(), 255);
}

void SerialPortDialogTest::closingWithoutOkChangesNothing() {
  SetPorts({one_.path, Missing + "2", three_.path});
  MainWindow window;
  window.SetComPort(3);
  auto closed = OnNextModal<PortDialog>([](PortDialog *dialog) {
    QTRY_VERIFY(!dialog->Probing());
    List(*dialog)->setCurrentIndex(0);
    dialog->close();
  });
  window.findChild<QAction *>(QStringLiteral("mnuChooseSerialPort"))->trigger();
  QVERIFY(*closed);
  QCOMPARE(window.ComPort(), 3);

  auto escaped = OnNextModal<PortDialog>([](PortDialog *dialog) {
    QTRY_VERIFY(!dialog->Probing());
    List(*dialog)->setEditText(QStringLiteral("12"));
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  window.findChild<QAction *>(QStringLiteral("mnuChooseSerialPort"))->trigger();
  QVERIFY(*escaped);
  QCOMPARE(window.ComPort(), 3);
}

void SerialPortDialogTest::leavesAnOpenPortAlone() {
  SetPorts({one_.path, Missing + "2", three_.path});
  port_.SetPortNumber(3);
  QVERIFY(port_.Open());

  PortDialog dialog(port_, 3, nullptr);
  QVERIFY(port_.IsOpen());
  QCOMPARE(port_.PortNumber(), 3);
  QVERIFY(Entries(dialog).isEmpty());
  port_.Close();
}

namespace {

// A port whose open looks for its device far longer than the dialog waits, as
// the virtual COM port of a paired Bluetooth device does: its open returns
// only when the test lets it.
struct SlowPort {
  QSemaphore Entered, Release;
  QPointer<QThread> Thread;  // the open's own; gone once it handed its answer over
};

}  // namespace

void SerialPortDialogTest::aPortThatDoesNotAnswerIsNamedNotWaitedFor() {
  std::map<QString, std::shared_ptr<SlowPort>> slow = {{"/dev/rfcomm0", std::make_shared<SlowPort>()},
                                                      {"/dev/rfcomm1", std::make_shared<SlowPort>()}};
  SetPorts({one_.path, "/dev/rfcomm0", three_.path, "/dev/rfcomm1"});
  ProbeSetup setup;
  setup.LimitMs = 1000;  // ample for a pseudo-terminal, however busy the machine
  setup.Opener = [slow](const QString &device) {
    if (!slow.count(device)) return OpenAndClose(device);
    SlowPort &port = *slow.at(device);
    port.Thread = QThread::currentThread();
    port.Entered.release();
    port.Release.tryAcquire(1, 30000);  // a dialog that waits for it fails rather than hangs
    return OpenFault::None;
  };
  auto dialog = std::make_unique<PortDialog>(port_, 1, nullptr, QString(), setup);
  QVERIFY(dialog->Probing());
  dialog->show();
  // Typed before any port answered: the ports that answer later leave it alone.
  QTest::keyClicks(List(*dialog)->lineEdit(), QStringLiteral("2"));
  QTRY_COMPARE(Entries(*dialog), QStringList({"1", "3"}));
  QCOMPARE(List(*dialog)->currentText(), QStringLiteral("2"));
  const auto *probe = dialog->findChild<QLabel *>(QStringLiteral("lblProbe"));
  const QString named = "Ports 2 (/dev/rfcomm0), 4 (/dev/rfcomm1) did not answer within 1 s and are not listed.";
  QTRY_COMPARE(probe->text(), named);
  QVERIFY(!dialog->Probing());
  for (auto &[device, port] : slow) QVERIFY2(port->Entered.tryAcquire(), qPrintable(device));  // under way all along

  // An answer after the limit changes nothing; nor does one after the dialog is gone.
  slow.at("/dev/rfcomm0")->Release.release();
  QTRY_VERIFY(slow.at("/dev/rfcomm0")->Thread.isNull());
  QCOMPARE(Entries(*dialog), QStringList({"1", "3"}));
  QCOMPARE(probe->text(), named);
  dialog.reset();
  slow.at("/dev/rfcomm1")->Release.release();
  QTRY_VERIFY(slow.at("/dev/rfcomm1")->Thread.isNull());
  QVERIFY(!port_.IsOpen());
}

QTEST_MAIN(SerialPortDialogTest)
#include "test_serial_port_dialog.moc"
