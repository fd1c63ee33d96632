// The window's ports in the Windows build, under Wine, with a simulated
// controller on COM<CALVENORI_TEST_COM> (run-windows-test.sh --controller).
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "PortDialog.h"
#include "SerialPort.h"
#include "UploadDriver.h"

class WindowsPortDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void listsTheControllersComPortAndStoresIt();
  void portsThatCannotBeOpenedSayWhatToDo();
};

void WindowsPortDialogTest::listsTheControllersComPortAndStoresIt() {
  const int com = qEnvironmentVariableIntValue("CALVENORI_TEST_COM");
  QVERIFY2(com > 0, "CALVENORI_TEST_COM names no port: run it through run-windows-test.sh --controller");
  const QString number = QString::number(com);
  SerialPort port;
  PortDialog dialog(port, com, nullptr);
  // The ports are tried in the background; the list fills in as they answer.
  QTRY_VERIFY(!dialog.Probing());
  auto *list = dialog.findChild<QComboBox *>(QStringLiteral("cboSerialPort"));
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  QVERIFY2(entries.contains(number), qPrintable(entries.join(',')));
  QCOMPARE(list->currentText(), number);
  QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblDevice"))->text().section(' ', 0, 0), "COM" + number);
  QVERIFY(!port.IsOpen());

  QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.ChosenPort(), com);
  QCOMPARE(dialog.ChosenDevice(), "COM" + number);
}

// The window's message when the upload's port does not open: what Windows
// said, without its own full stop, the tip that fits it, and nothing of Linux
// groups.
void WindowsPortDialogTest::portsThatCannotBeOpenedSayWhatToDo() {
  SerialPort port;
  const auto failure = [&port](int number) {
    port.SetPortNumber(number);
    return port.Open() ? QString() : PortOpenFailureText(number, port.DeviceName(), port.ErrorString(), port.Fault());
  };
  QCOMPARE(failure(40), QStringLiteral("Serial port 40 could not be opened (COM40): the device is not connected\r"
                                       "The upload has not been started.\rPlug the adapter in again, or choose the "
                                       "port again (Tools / Choose Serial Port)."));
  // COM13 is a link to nothing: Wine's driver refuses it as a broken device,
  // which is neither "not there" nor "held": Windows' reason stands alone.
  const QString refused = failure(13);
  QVERIFY2(refused.startsWith("Serial port 13 could not be opened (COM13): ") && !refused.section('\r', 0, 0).endsWith('.') &&
               refused.endsWith("\rThe upload has not been started."),
           qPrintable(refused));
}

QTEST_MAIN(WindowsPortDialogTest)
#include "test_windows_port_dialog.moc"
