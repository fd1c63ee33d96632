// The port dialog of the Windows build, under Wine, with a simulated
// controller on COM<CALVENORI_TEST_COM> (run-windows-test.sh --controller).
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "PortDialog.h"
#include "SerialPort.h"

class WindowsPortDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void listsTheControllersComPortAndStoresIt();
};

void WindowsPortDialogTest::listsTheControllersComPortAndStoresIt() {
  const int com = qEnvironmentVariableIntValue("CALVENORI_TEST_COM");
  QVERIFY2(com > 0, "CALVENORI_TEST_COM names no port: run it through run-windows-test.sh --controller");
  const QString number = QString::number(com);
  SerialPort port;
  PortDialog dialog(port, qint16(com), nullptr);
  auto *list = dialog.findChild<QComboBox *>(QStringLiteral("cboSerialPort"));
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  QVERIFY2(entries.contains(number), qPrintable(entries.join(',')));
  QCOMPARE(list->currentText(), number);
  QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblDevice"))->text().section(' ', 0, 0), "COM" + number);
  QVERIFY(!port.IsOpen());

  QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.ChosenPort(), qint16(com));
  QCOMPARE(dialog.ChosenDevice(), "COM" + number);
}

QTEST_MAIN(WindowsPortDialogTest)
#include "test_windows_port_dialog.moc"
