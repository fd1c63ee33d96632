// Which device a port number means on Linux, and that the device the
// technician chose is the one the upload opens: pseudo-terminals stand in for
// the system's adapters, links in a folder of the test's own for their names
// and their /dev/serial/by-id links.
#include "ModalWatch.h"
#include "PortList.h"
#include "PortProbe.h"
#include "Pty.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "UploadRig.h"
#include "PortDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>
#include <sys/fsuid.h>
#include <sys/stat.h>

#include <memory>

using namespace expect;

namespace {

// The system's list of serial devices and its by-id folder, as the test makes them.
struct FakeSystem {
  QTemporaryDir Root;
  QList<PortEntry> Entries;

  FakeSystem() {
    QDir(Root.path()).mkpath("by-id");
    // Traversable, so that a probe without root's rights still reaches the devices.
    ::chmod(QFile::encodeName(Root.path()).constData(), 0755);
    qunsetenv("CALVENORI_PORTS");
    SystemPortSource().List = [this] { return Entries; };
    SystemPortSource().ByIdFolder = Root.filePath("by-id");
  }
  ~FakeSystem() { SystemPortSource() = PortSource{}; }

  // The device `name` (ttyUSB0) of the system is the pseudo-terminal `target`.
  QString Plug(const QString &name, const QString &target, const QString &serial = {}) {
    const QString device = Root.filePath(name);
    QFile::link(target, device);
    Entries.append({device, serial.isEmpty() ? "16550A" : "FT232R USB UART", serial.isEmpty() ? "" : "FTDI", serial});
    if (!serial.isEmpty()) QFile::link(device, ById(serial));
    return device;
  }
  void Unplug(const QString &device) {
    QFile::remove(device);
    Entries.removeIf([&](const PortEntry &e) { return e.Device == device; });
    for (const QString &link : QDir(Root.filePath("by-id")).entryList(QDir::System))
      if (QFileInfo(Root.filePath("by-id/" + link)).symLinkTarget() == device) QFile::remove(Root.filePath("by-id/" + link));
  }
  QString ById(const QString &serial) const { return Root.filePath("by-id/usb-FTDI_FT232R_" + serial + "-if00-port0"); }
};

QComboBox *List(PortDialog &dialog) { return dialog.findChild<QComboBox *>("cboSerialPort"); }

QStringList Entries(PortDialog &dialog) {
  QStringList entries;
  for (int i = 0; i < List(dialog)->count(); ++i) entries << List(dialog)->itemText(i);
  return entries;
}

// Opens files as an ordinary user for as long as it lives: root opens any
// device whatever its mode, so only without root's rights is a refusal seen.
struct OrdinaryUser {
  bool Ok = true;
  OrdinaryUser() {
    if (::geteuid() != 0) return;
    ::setfsgid(65534);
    ::setfsuid(65534);
    Ok = ::setfsuid(-1) == 65534;
  }
  ~OrdinaryUser() {
    if (::geteuid() != 0) return;
    ::setfsuid(0);
    ::setfsgid(0);
  }
};

}  // namespace

class PortIdentityTest : public QObject {
  Q_OBJECT

 private slots:
  void portsAreInNaturalOrder();
  void dialogShowsWhatTheSystemTellsOfTheDevice();
  void uploadOpensTheChosenDevice_data();
  void uploadOpensTheChosenDevice();
  void lackOfPermissionIsToldWithTheHint_data();
  void lackOfPermissionIsToldWithTheHint();
};

void PortIdentityTest::portsAreInNaturalOrder() {
  const QList<std::pair<QString, QString>> ordered = {
      {"ttyUSB2", "ttyUSB10"}, {"ttyUSB9", "ttyUSB10"},   {"ttyS1", "ttyUSB0"},   {"ttyACM3", "ttyS0"},
      {"ttyUSB", "ttyUSB0"},   {"ttyUSB02", "ttyUSB10"}, {"ttyS99999999999999999999", "ttyS100000000000000000000"}};
  for (const auto &[a, b] : ordered) {
    QVERIFY2(NaturalLess(a, b), qPrintable(a + " < " + b));
    QVERIFY2(!NaturalLess(b, a), qPrintable(b + " < " + a));
  }
  QVERIFY(!NaturalLess("ttyUSB1", "ttyUSB1"));

  FakeSystem system;
  for (const char *name : {"/dev/ttyUSB10", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyS0"})
    system.Entries.append({name, {}, {}, {}});
  QStringList numbered;
  for (int n = 1; n <= 5; ++n) numbered << PortDeviceName(n);
  QCOMPARE(numbered, QStringList({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyUSB10", ""}));
}

void PortIdentityTest::dialogShowsWhatTheSystemTellsOfTheDevice() {
  FakeSystem system;
  Pty usb, builtIn;
  const QString adapter = system.Plug("ttyUSB0", usb.path, "A50285BI");
  const QString uart = system.Plug("ttyS0", builtIn.path);
  SerialPort port;
  PortDialog dialog(port, 2, nullptr);
  QCOMPARE(Entries(dialog), QStringList({"1", "2"}));
  const auto *device = dialog.findChild<QLabel *>("lblDevice");
  QCOMPARE(device->text(), adapter + " - FT232R USB UART\nFTDI, serial number A50285BI");
  List(dialog)->setCurrentIndex(0);
  QCOMPARE(device->text(), uart + " - 16550A");
}

void PortIdentityTest::uploadOpensTheChosenDevice_data() {
  QTest::addColumn<QString>("serial");  // of the chosen adapter; empty: a built-in port without by-id link
  QTest::addColumn<QString>("since");   // what happened between the choice and the upload
  QTest::newRow("adapter, another plugged in before it") << "A50285BI" << "renumbered";
  QTest::newRow("adapter, replugged under a new name") << "A50285BI" << "replugged";
  QTest::newRow("built-in port, another plugged in before it") << "" << "renumbered";
  QTest::newRow("adapter, unplugged") << "A50285BI" << "unplugged";
  QTest::newRow("built-in port, gone") << "" << "unplugged";
}

void PortIdentityTest::uploadOpensTheChosenDevice() {
  QFETCH(QString, serial);
  QFETCH(QString, since);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  FakeSystem system;
  Pty other;
  const QString chosen = system.Plug("ttyUSB2", rig.Controller.SlavePath(), serial);
  system.Plug("ttyUSB10", other.path);

  auto picked = OnNextModal<PortDialog>([](PortDialog *dialog) {
    List(*dialog)->setCurrentIndex(0);
    dialog->findChild<QPushButton *>("cmdOK")->click();
  });
  rig.Window->findChild<QAction *>("mnuChooseSerialPort")->trigger();
  QVERIFY(*picked);
  QCOMPARE(rig.Window->ComPort(), qint16(1));
  const QString identity = serial.isEmpty() ? chosen : system.ById(serial);
  QCOMPARE(rig.Window->ComPortDevice(), identity);

  // Port 1 is another device by the time of the upload.
  Pty newcomer;
  system.Plug("ttyUSB0", newcomer.path, "FT0NEW42");
  if (since == "replugged") {
    system.Unplug(chosen);
    system.Plug("ttyUSB3", rig.Controller.SlavePath(), serial);
  } else if (since == "unplugged") {
    system.Unplug(chosen);
  }
  QCOMPARE(PortDeviceName(1), system.Root.filePath("ttyUSB0"));

  rig.ChooseParameterList(rig.Write("list.txt", ParameterList("&H0400", {{2, 1500}})));
  rig.StartUpload();

  if (since == "unplugged") {
    QCOMPARE(rig.Hands->Messages.size(), 1);
    const QStringList lines = rig.Hands->LastMessage().split('\n');
    QCOMPARE(lines.value(0), "Serial port 1 could not be opened (" + identity + "): the device is not connected");
    QVERIFY2(lines.value(2).startsWith("Plug the adapter in again"), qPrintable(lines.value(2)));
    QVERIFY(rig.Controller.Received().isEmpty());
  } else {
    QCOMPARE(rig.Hands->LastMessage(), ParameterSuccess);
    QVERIFY(rig.Controller.Locked());
  }
  for (const Pty *bystander : {&other, &newcomer}) {
    pollfd line{bystander->master, POLLIN, 0};
    QCOMPARE(::poll(&line, 1, 0), 0);
  }
  // Opening the dialog again finds the chosen device under its number of now.
  if (since == "unplugged") return;
  QString selected;
  auto reopened = OnNextModal<PortDialog>([&](PortDialog *dialog) {
    selected = List(*dialog)->currentText();
    dialog->reject();
  });
  rig.Window->findChild<QAction *>("mnuChooseSerialPort")->trigger();
  QVERIFY(*reopened);
  QCOMPARE(selected, QString("2"));
}

void PortIdentityTest::lackOfPermissionIsToldWithTheHint_data() {
  QTest::addColumn<bool>("denied");  // else held by another program
  QTest::newRow("the user may not open them") << true;
  QTest::newRow("another program holds them") << false;
}

void PortIdentityTest::lackOfPermissionIsToldWithTheHint() {
  QFETCH(bool, denied);
  FakeSystem system;
  Pty one, two;
  const QStringList devices = {system.Plug("ttyUSB0", one.path, "A1"), system.Plug("ttyS0", two.path)};
  std::vector<std::unique_ptr<QSerialPort>> holders;
  for (const Pty *pty : {&one, &two}) {
    if (denied) {
      QCOMPARE(::fchmod(pty->slave, 0), 0);
      continue;
    }
    holders.push_back(std::make_unique<QSerialPort>(pty->path));
    QVERIFY2(holders.back()->open(QIODevice::ReadWrite), qPrintable(holders.back()->errorString()));
  }
  SerialPort port;
  std::unique_ptr<PortDialog> dialog;
  if (denied) {
    OrdinaryUser user;
    if (!user.Ok) QSKIP("cannot probe without root's rights here");
    dialog = std::make_unique<PortDialog>(port, 1, nullptr);
  } else {
    dialog = std::make_unique<PortDialog>(port, 1, nullptr);
  }
  QString text;
  auto told = OnNextModal<QMessageBox>([&](QMessageBox *box) {
    text = box->text();
    box->accept();
  });
  dialog->show();
  QTRY_VERIFY(*told);
  QVERIFY(Entries(*dialog).isEmpty());
  if (!denied) {
    QCOMPARE(text, QString("No COM Port available on this PC"));
    return;
  }
  const QStringList lines = text.split('\n');
  QCOMPARE(lines.size(), 3);
  QCOMPARE(lines[0], QString("No COM Port available on this PC"));
  QCOMPARE(lines[1], "Serial ports were found (" + devices[1] + ", " + devices[0] + "), but this user may not open them.");
  QVERIFY2(lines[2].contains("\"dialout\""), qPrintable(lines[2]));
}

QTEST_MAIN(PortIdentityTest)
#include "test_port_identity.moc"
