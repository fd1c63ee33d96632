// The Windows Value Manager on the real main window and port, against the
// simulated controller: what it shows and copies, and the look on the other
// ports when the chosen one is silent.

#include "UploadRig.h"
#include "WindowValueDialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// A value box by its object name, as the technician's eye finds it.
QLineEdit *Box(const QDialog &dialog, int row) {
  return dialog.findChild<QLineEdit *>(QStringLiteral("txtWin%1").arg(row));
}

}  // namespace

class TestWindowValueDialog : public QObject {
  Q_OBJECT

 private slots:
  void showsAndCopiesTheController();
  void looksOnTheOtherPorts_data();
  void looksOnTheOtherPorts();
  void closesWhileItLooks();
};

void TestWindowValueDialog::showsAndCopiesTheController() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.Controller.SetWindow(501, "1");
  WindowValueDialog dialog(*rig.Window, [](int, const QString &) { QFAIL("no other port is looked at"); },
                           QDir::current(), rig.Window.get());
  dialog.show();
  QTRY_COMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblLock"))->text(), QStringLiteral("locked"));
  for (int r = 0; r < IdWindowCount; ++r)
    QCOMPARE(Box(dialog, r)->text().toLatin1(), rig.Controller.Window(BlankBackup()[r].Win).trimmed());
  QVERIFY(Box(dialog, 0)->isReadOnly());
  QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("lblPort"))->text().contains(rig.Controller.SlavePath()));

  rig.Controller.SetWindow(323, "C-NEW");
  dialog.findChild<QPushButton *>(QStringLiteral("cmdRefresh"))->click();
  QCOMPARE(Box(dialog, 6)->text(), QStringLiteral("C-NEW"));
  dialog.findChild<QPushButton *>(QStringLiteral("cmdCopy"))->click();
  const QString copied = QGuiApplication::clipboard()->text();
  QVERIFY2(copied.contains("Controller S/N (Win 323):\tC-NEW\n"), qPrintable(copied));
  QVERIFY2(copied.endsWith("Lock (Win 501):\tlocked"), qPrintable(copied));
  // Two identifications, each only reading.
  for (const QByteArray &frame : rig.Controller.WindowRequests()) QCOMPARE(frame[5], '0');
}

void TestWindowValueDialog::looksOnTheOtherPorts_data() {
  QTest::addColumn<bool>("yes");
  QTest::addColumn<int>("chosen");  // the port number afterwards
  QTest::newRow("Yes: the answering port is chosen") << true << 2;
  QTest::newRow("No: the port stays") << false << 1;
}

void TestWindowValueDialog::looksOnTheOtherPorts() {
  QFETCH(bool, yes);
  QFETCH(int, chosen);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  sim::SimulatedController answering;
  QVERIFY(answering.Start());
  sim::Faults silent;
  silent.Silent = true;
  rig.Controller.SetFaults(silent);
  qputenv("CALVENORI_PORTS", (rig.Controller.SlavePath() + "," + answering.SlavePath()).toLocal8Bit());
  rig.Hands->AcceptsOffers = yes;
  WindowValueDialog dialog(*rig.Window, [&](int number, const QString &device) {
    rig.Window->SetComPort(qint16(number));
    QCOMPARE(device, answering.SlavePath());
  }, QDir::current(), rig.Window.get());
  dialog.show();

  QTRY_VERIFY(rig.Hands->Messages.size() == 1 && dialog.findChild<QPushButton *>(QStringLiteral("cmdRefresh"))->isEnabled());
  QVERIFY(rig.Hands->Messages[0].startsWith("Nothing answers on serial port 1"));
  if (yes) QTRY_COMPARE(Box(dialog, 2)->text().toLatin1(), answering.Window(319).trimmed());
  QCOMPARE(int(rig.Window->ComPort()), chosen);
  QCOMPARE(Box(dialog, 2)->text().isEmpty(), !yes);
}

// A silent controller keeps the look going for a while: Close ends it at once
// and the dialog goes, without waiting for the port or the other ports.
void TestWindowValueDialog::closesWhileItLooks() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  sim::Faults silent;
  silent.Silent = true;
  rig.Controller.SetFaults(silent);
  WindowValueDialog dialog(*rig.Window, [](int, const QString &) { QFAIL("no port is chosen"); }, QDir::current(),
                           rig.Window.get());
  // Clicked from a timer, served inside the look's own wait for an answer.
  QTimer closer;
  bool lookingWhenClosed = false;
  QObject::connect(&closer, &QTimer::timeout, &dialog, [&] {
    if (rig.Controller.WindowRequests().isEmpty()) return;
    closer.stop();
    lookingWhenClosed = !dialog.findChild<QPushButton *>(QStringLiteral("cmdRefresh"))->isEnabled();
    dialog.findChild<QPushButton *>(QStringLiteral("cmdClose"))->click();
    QVERIFY(!dialog.isVisible());
  });
  closer.start(5);
  dialog.exec();
  QVERIFY(lookingWhenClosed);
  // Nothing after the first read: the look ended with it, no other port was offered.
  QCOMPARE(rig.Controller.WindowRequests().size(), 1);
  QVERIFY(rig.Hands->Messages.isEmpty());
  QVERIFY(!rig.Window->Port().IsOpen());
}

QTEST_MAIN(TestWindowValueDialog)
#include "test_window_value_dialog.moc"
