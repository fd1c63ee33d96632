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
#include "SerialPort.h"
#include "UploadDriver.h"

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

#include <cerrno>
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
  void openFailuresSayWhatTheSystemSaid_data();
  void openFailuresSayWhatTheSystemSaid();
  void permissionErrorsAreToldApart_data();
  void permissionErrorsAreToldApart();
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
  QTRY_VERIFY(!dialog.Probing());
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
    QTRY_VERIFY(!dialog->Probing());
    List(*dialog)->setCurrentIndex(0);
    dialog->findChild<QPushButton *>("cmdOK")->click();
  });
  rig.Window->findChild<QAction *>("mnuChooseSerialPort")->trigger();
  QVERIFY(*picked);
  QCOMPARE(rig.Window->ComPort(), 1);
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
    QTRY_VERIFY(!dialog->Probing());
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

void PortIdentityTest::openFailuresSayWhatTheSystemSaid_data() {
  QTest::addColumn<QString>("situation");
  QTest::addColumn<int>("fault");  // OpenFault
  QTest::addColumn<QString>("reason");
  QTest::addColumn<QString>("tip");  // empty: the system's reason stands alone
  const QString again = " (Tools / Choose Serial Port).";
  QTest::newRow("unplugged") << "unplugged" << int(OpenFault::Missing) << "the device is not connected"
                             << "Plug the adapter in again, or choose the port again" + again;
  QTest::newRow("no device has the number") << "no device" << int(OpenFault::Missing) << "No serial device is known as port 1"
                                            << "Plug the adapter in again, or choose the port again" + again;
  QTest::newRow("held by another program") << "held" << int(OpenFault::Held) << "Permission error while locking the device"
                                           << "Another program holds the port: close it there, or choose another port" + again;
  QTest::newRow("the user may not open it") << "denied" << int(OpenFault::Denied) << qt_error_string(EACCES)
                                            << "This user may not open it: add the user to the \"dialout\" group "
                                               "(sudo adduser $USER dialout), then log out and in again.";
  QTest::newRow("not a serial line") << "file" << int(OpenFault::Other) << qt_error_string(ENOTTY) << "";
}

void PortIdentityTest::openFailuresSayWhatTheSystemSaid() {
  QFETCH(QString, situation);
  QFETCH(int, fault);
  QFETCH(QString, reason);
  QFETCH(QString, tip);
  FakeSystem system;
  Pty line;
  SerialPort port;
  std::unique_ptr<QSerialPort> holder;
  if (situation == "unplugged") {
    system.Unplug(system.Plug("ttyUSB0", line.path, "A1"));
    port.SetDevice(system.ById("A1"));  // chosen before it went
  } else if (situation == "held") {
    system.Plug("ttyUSB0", line.path);
    holder = std::make_unique<QSerialPort>(line.path);
    QVERIFY2(holder->open(QIODevice::ReadWrite), qPrintable(holder->errorString()));
  } else if (situation == "denied") {
    system.Plug("ttyUSB0", line.path);
    QCOMPARE(::fchmod(line.slave, 0), 0);
  } else if (situation == "file") {
    QFile plain(system.Root.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    system.Plug("ttyUSB0", plain.fileName());
  }
  if (situation == "denied") {
    // Root opens any device whatever its mode.
    OrdinaryUser user;
    if (!user.Ok) QSKIP("cannot open without root's rights here");
    QVERIFY(!port.Open());
  } else {
    QVERIFY(!port.Open());
  }
  QCOMPARE(int(port.Fault()), fault);
  QCOMPARE(port.ErrorString(), reason);
  const QString device = port.DeviceName();
  QStringList expected = {"Serial port 1 could not be opened" + (device.isEmpty() ? "" : " (" + device + ")") + ": " + reason,
                          "The upload has not been started."};
  if (!tip.isEmpty()) expected << tip;
  QCOMPARE(PortOpenFailureText(1, device, port.ErrorString(), port.Fault()).split('\r'), expected);
}

// Qt reports all of these as a permission error; what it said tells them apart.
void PortIdentityTest::permissionErrorsAreToldApart_data() {
  QTest::addColumn<int>("error");  // QSerialPort::SerialPortError
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("accessDenied");
  QTest::addColumn<int>("fault");  // OpenFault
  const int permission = QSerialPort::PermissionError;
  QTest::newRow("another program opened it for itself alone")
      << permission << qt_error_string(EBUSY) << false << int(OpenFault::Held);
  QTest::newRow("locked, and the user may not open it either")
      << permission << "Permission error while locking the device" << true << int(OpenFault::Denied);
  QTest::newRow("no folder takes the lock file")
      << permission << "Permission error while creating lock file" << false << int(OpenFault::Other);
  QTest::newRow("refused although the user has the rights (a security module)")
      << permission << qt_error_string(EACCES) << false << int(OpenFault::Other);
  QTest::newRow("the line failed") << int(QSerialPort::ResourceError) << qt_error_string(EIO) << false
                                   << int(OpenFault::Other);
}

void PortIdentityTest::permissionErrorsAreToldApart() {
  QFETCH(int, error);
  QFETCH(QString, text);
  QFETCH(bool, accessDenied);
  QFETCH(int, fault);
  QCOMPARE(int(ClassifyOpenFailure(QSerialPort::SerialPortError(error), text, accessDenied)), fault);
}

QTEST_MAIN(PortIdentityTest)
#include "test_port_identity.moc"
