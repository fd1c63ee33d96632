// The Windows programs under Wine against the simulated controller. Wine gives
// a Windows program the port COMn for a link $WINEPREFIX/dosdevices/comn,
// which make-prefix.sh leads through a link of its own that each test points
// at the simulator's pseudo-terminal; the technician's hands are the
// simulator's control channel, reached from a Windows batch file (see
// WineHands.h). A Windows program that crashes under Wine still exits with
// status 0, so every case is judged by what the controller received and by
// what the program said.
#include "Journal.h"
#include "TestDialects.h"
#include "ProgramTexts.h"
#include "ControlChannel.h"
#include "ExeResources.h"
#include "NullModemPair.h"
#include "ParameterList.h"
#include "SimulatedController.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "WineHands.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <signal.h>

using namespace expect;
using sim::Dialect;

namespace {

const QString WindowsBuild = QStringLiteral(CALVENORI_WINDOWS_BUILD);
const QString SimProgram = QStringLiteral(CALVENORI_SIM_PROGRAM);
const QString BuiltUpload = WindowsBuild + "/src/calvenori-upload.exe";

struct Outcome {
  QString Out;
  QString Err;
  int Status = -1;
};

// `name` in the prefix's dosdevices ("com7", "s:") names `target`; an empty
// target removes it. The prefix's COM ports are links of their own, beside it
// (make-prefix.sh).
bool LinkDosDevice(const QString &name, const QString &target) {
  const QString prefix = qEnvironmentVariable("WINEPREFIX");
  const QString link = name.startsWith("com") ? prefix + "/../lines/" + name : prefix + "/dosdevices/" + name;
  QFile::remove(link);
  return target.isEmpty() || QFile::link(target, link);
}

// The test's environment with WINEPATH leading a Windows program to the
// build's DLL folders.
QProcessEnvironment WineEnvironment() {
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  e.insert("WINEPATH", "Z:" + qEnvironmentVariable("CALVENORI_WINE_DLLS").replace(':', ";Z:"));
  return e;
}

// A Windows program under Wine, in `workDir`; `env` adds to or, with an empty
// value, removes from the test's environment.
Outcome RunWindows(const QString &program, const QStringList &args, const QString &workDir,
                   const QMap<QString, QString> &env = {}, const QByteArray &input = {}) {
  QProcess process;
  QProcessEnvironment e = WineEnvironment();
  for (auto it = env.begin(); it != env.end(); ++it) {
    if (it.value().isEmpty()) e.remove(it.key());
    else e.insert(it.key(), it.value());
  }
  process.setProcessEnvironment(e);
  process.setWorkingDirectory(workDir);
  process.start("wine", QStringList{program} + args);
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(-1);
  // Windows ends a console's lines with CR LF. Into a pipe the command line
  // writes UTF-8 whatever the code page: ä written in the ANSI code page
  // would not read back as ä.
  const auto text = [](const QByteArray &bytes) { return QString::fromUtf8(bytes).replace("\r\n", "\n"); };
  return {text(process.readAllStandardOutput()), text(process.readAllStandardError()),
          process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1};
}

using sim::WindowsPath;

// A simulated controller on COM`com` of the Wine prefix, with its hands.
struct Bench {
  QTemporaryDir Dir;
  sim::SimulatedController Controller;
  sim::ControlChannel Control;
  std::map<int, QByteArray> IdentificationBefore;
  QString Com;
  QString Error;

  Bench(Dialect dialect, int com, std::optional<sim::LineDelivery> paced = {})
      : Controller(dialect), Com(QStringLiteral("COM%1").arg(com)) {
    if (paced) {
      Controller.SetPaced(true);
      Controller.SetDelivery(*paced);
    }
    if (!Controller.Start(&Error) || !Control.Start(Controller, Dir.filePath("ctl"), &Error)) return;
    if (!LinkDosDevice(Com.toLower(), Controller.SlavePath())) Error = "cannot link " + Com;
    IdentificationBefore = IdentificationOf(Controller);
  }
  ~Bench() { LinkDosDevice(Com.toLower(), {}); }

  QString Hands() const { return sim::WriteWineHands(Dir.path(), SimProgram, Dir.filePath("ctl")); }
  QString Write(const QString &name, const QByteArray &content) { return WriteTestFile(Dir.path(), name, content); }

  Outcome Upload(QStringList args, const QString &program = BuiltUpload, const QString &workDir = {}) {
    if (!args.contains("--port")) args << "--port" << Com;
    if (!args.contains("--actions")) args << "--actions" << Hands();
    return RunWindows(program, args, workDir.isEmpty() ? Dir.path() : workDir);
  }
};

QString Said(const Outcome &o) { return QStringLiteral("exit %1\n%2\n%3").arg(o.Status).arg(o.Out, o.Err); }

// Everything a complete upload leaves in the controller.
void VerifyUploaded(Bench &b, const QString &list, const QByteArray &program) {
  QString error;
  const auto written = ParameterByteMap(list, &error);
  QVERIFY2(!written.empty(), qPrintable(error));
  const auto memory = b.Controller.ParameterMemory();
  for (const auto &[address, byte] : written) QCOMPARE(int(memory.at(address)), int(byte));
  if (!program.isEmpty()) {
    QVERIFY(b.Controller.Flash() == FlashImageOf(program));
    QCOMPARE(b.Controller.LastCrc(), std::optional<quint32>(65535));
  }
  QVERIFY(IdentificationOf(b.Controller) == b.IdentificationBefore);
  QVERIFY(b.Controller.Locked());
}


// The Debian copyright file's "Copyright:" field and its licence's lines:
// what every Windows file must say of the terms.
struct Terms {
  QString Copyright;
  QStringList License;
};

Terms DebianTerms() {
  QFile file(QStringLiteral(CALVENORI_DEBIAN_COPYRIGHT));
  if (!file.open(QIODevice::ReadOnly)) return {};
  Terms terms;
  bool inLicense = false;
  for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
    if (line.startsWith("Copyright: ")) terms.Copyright = "Copyright " + line.mid(11);
    if (line.startsWith("License: ")) {
      inLicense = true;
      terms.License << line;
    } else if (inLicense && line.startsWith(' ')) {
      terms.License << line.mid(1);
    } else {
      inLicense = false;
    }
  }
  return terms;
}

// What the packaging's notices check says of the kit in `folder`, or nothing
// when the notices match it.
QString KitProblems(const QString &folder) {
  QProcess check;
  check.setProcessChannelMode(QProcess::MergedChannels);
  check.start(QStringLiteral(CALVENORI_CMAKE), {"-DKIT=" + folder, "-P", QStringLiteral(CALVENORI_NOTICES_CHECK)});
  check.waitForFinished(-1);
  return check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0 ? QString()
                                                                              : QString::fromUtf8(check.readAll());
}

// What Explorer's Details tab would lack in `exe`, or nothing.
QString ResourceProblems(const QString &exe) {
  QString error;
  const auto found = ReadExeResources(exe, &error);
  if (!found) return error;
  QStringList problems;
  const QMap<QString, QString> expected{{"ProductName", "Calvenori Uploader"},
                                        {"ProductVersion", "1.5.0"},
                                        {"FileVersion", "1.5.0"},
                                        {"CompanyName", "Quorvel"},
                                        {"LegalCopyright", DebianTerms().Copyright}};
  for (auto it = expected.begin(); it != expected.end(); ++it)
    if (found->Strings.value(it.key()) != it.value())
      problems << QStringLiteral("%1 \"%2\"").arg(it.key(), found->Strings.value(it.key()));
  if (found->Strings.value("FileDescription").isEmpty()) problems << "no FileDescription";
  if (found->FixedFileVersion != "1.5.0.0") problems << "version number \"" + found->FixedFileVersion + '"';
  if (!found->HasIcon) problems << "no icon";
  return problems.join(", ");
}

}  // namespace

class WineTest : public QObject {
  Q_OBJECT

 private slots:
  void unitTestsAreBuilt();
  void wholeUploads_data();
  void wholeUploads();
  void portsThatCannotBeOpened();
  void interruptionNamesTheWindowsFolder_data();
  void interruptionNamesTheWindowsFolder();
  void failedActionInterrupts();
  void namesOutsideAsciiReadBackAsUtf8();
  void programsCarryVersionAndIcon_data();
  void programsCarryVersionAndIcon();
  void installerInstallsUploadsAndUninstalls();
  void zipKitCarriesTermsAndNotices();
  void ctrlCEndsTheUploadCleanly();
  void trainingKitOnAPairOfComPorts_data();
  void trainingKitOnAPairOfComPorts();
};

void WineTest::unitTestsAreBuilt() {
  QVERIFY2(QFile::exists(BuiltUpload), qPrintable(BuiltUpload));
  const Outcome version = RunWindows(BuiltUpload, {"--version"}, QDir::tempPath());
  QCOMPARE(version.Out, QString("calvenori-upload 1.5.0\n"));
  // A window program has no console: its answer reaches the caller's output all the same.
  const Outcome window = RunWindows(WindowsBuild + "/src/calvenori-uploader.exe", {"--help"}, QDir::tempPath());
  QVERIFY2(window.Out.contains("--trace FILE"), qPrintable(Said(window)));
}

// Both modes, both monitor dialects, Check Errors on; the port by number, as
// COMn, and above 9. The simulator hands each reply over whole: Wine 8 tells
// a Windows program of input on a pseudo-terminal only when the input is
// there as it waits or writes, so bytes paced one by one (the even line, a
// converter's bursts) reach it only at its next write, which no Windows
// driver does.
void WineTest::wholeUploads_data() {
  QTest::addColumn<int>("dialect");
  QTest::addColumn<bool>("full");
  QTest::addColumn<int>("com");
  QTest::addColumn<QString>("port");
  // Each dialect in both modes, the port given each way the option takes it.
  const struct {
    int Com;
    const char *Given;
  } full[] = {{7, "7"}, {12, "COM12"}}, parameters[] = {{7, "com7"}, {10, "COM10"}};
  for (qsizetype i = 0; i < TestDialects().size(); ++i) {
    const TestDialect &d = TestDialects()[i];
    const auto &f = full[i % 2], &p = parameters[i % 2];
    QTest::addRow("full, %s, %s", d.Name, f.Given) << int(d.Sim) << true << f.Com << QString(f.Given);
    QTest::addRow("parameter list, %s, %s", d.Name, p.Given) << int(d.Sim) << false << p.Com << QString(p.Given);
  }
}

// A column of the journal's last line in `folder`.
static QString JournalField(const QString &folder, const char *column = "Outcome") {
  QFile journal(QDir(folder).filePath("calvenori-uploads.csv"));
  QList<QStringList> records;
  QString error;
  if (!journal.open(QIODevice::ReadOnly) || !ParseCsv(journal.readAll(), records, &error) || records.size() < 2)
    return QStringLiteral("<no journal line>");
  return records.last().value(records.first().indexOf(column));
}

void WineTest::wholeUploads() {
  QFETCH(int, dialect);
  QFETCH(bool, full);
  QFETCH(int, com);
  QFETCH(QString, port);
  Bench bench(Dialect(dialect), com);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QByteArray program = full ? ProgramFile(12) : QByteArray();
  const QString list = bench.Write("list.txt", SmallList());
  QStringList args{"--params", list, "--port", port, "--restore", "keep", "--check-errors"};
  if (full) args << "--program" << bench.Write("fw.s19", program);
  const Outcome out = bench.Upload(args);
  QVERIFY2(out.Status == 0 && out.Out.contains(full ? FullSuccess : ParameterSuccess), qPrintable(Said(out)));
  VerifyUploaded(bench, list, program);

  // The journal: the same file and columns as on Linux, paths as Windows gives them.
  QFile journal(bench.Dir.filePath("calvenori-uploads.csv"));
  QVERIFY(journal.open(QIODevice::ReadOnly));
  QList<QStringList> records;
  QString error;
  QVERIFY2(ParseCsv(journal.readAll(), records, &error), qPrintable(error));
  QCOMPARE(records.size(), 2);
  const QStringList &header = records[0];
  const auto field = [&](const char *column) { return records[1].value(header.indexOf(column)); };
  QCOMPARE(field("Outcome"), QStringLiteral("uploaded"));
  QCOMPARE(field("Program"), QStringLiteral("calvenori-upload"));
  QCOMPARE(field("Controller S/N"), QStringLiteral("C23119876"));
  QVERIFY2(field("Parameter list").contains(":\\") && field("Parameter list").endsWith("\\list.txt"),
           qPrintable(field("Parameter list")));
  QCOMPARE(field("Parameter list SHA-256"), FileSha256(list));
}

void WineTest::portsThatCannotBeOpened() {
  Bench bench(Dialect::E, 9);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString list = bench.Write("list.txt", SmallList());
  // COM13 names a device the driver refuses (a link to nothing, under Wine):
  // Windows' reason, which is not that another program holds it, stands alone.
  LinkDosDevice("com13", {});
  Outcome out = bench.Upload({"--params", list, "--port", "13"});
  QVERIFY2(out.Status == 3 &&
               out.Err.contains(QRegularExpression("Serial port 13 \\(COM13\\) could not be opened: "
                                                   "\\w[^\n]*[^.]\\.\nThe upload has not been started.\n")) &&
               !out.Err.contains("holds the port"),
           qPrintable(Said(out)));
  // Windows names every COMn: that none is there shows only as the port
  // opens, and the ports Windows knows are listed (COM1-20: make-prefix.sh).
  out = bench.Upload({"--params", list, "--port", "COM40"});
  QVERIFY2(out.Status == 3 && out.Err.contains("Serial port 40 (COM40) could not be opened: the device is not connected.\n"
                                               "The upload has not been started.\nPlug the adapter in again"),
           qPrintable(Said(out)));
  QVERIFY2(out.Err.contains("The serial ports known here:\n") && out.Err.contains("\n   20  COM20"), qPrintable(out.Err));
  // Nothing of Linux groups or device files on Windows.
  QVERIFY2(!out.Err.contains("dialout") && !out.Err.contains("/dev/"), qPrintable(out.Err));
  QCOMPARE(bench.Controller.Received(), QByteArray());
  QCOMPARE(JournalField(bench.Dir.path()), QStringLiteral("port not opened"));
}

// The rescue line names tmpLogWin.txt as Windows shows the working folder:
// backslashes, and two of them at a drive's root. The folder's name has a
// blank and a letter outside ASCII, as do the files and the trace.
void WineTest::interruptionNamesTheWindowsFolder_data() {
  QTest::addColumn<bool>("driveRoot");
  QTest::newRow("folder") << false;
  QTest::newRow("drive root") << true;
}

void WineTest::interruptionNamesTheWindowsFolder() {
  QFETCH(bool, driveRoot);
  Bench bench(Dialect::E, driveRoot ? 4 : 3);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString folder = bench.Dir.filePath(QStringLiteral("Service Pümpe"));
  QVERIFY(QDir().mkpath(folder));
  const QString drive = driveRoot ? QStringLiteral("s:") : QString();
  if (driveRoot) QVERIFY(LinkDosDevice(drive, folder));
  const QString list = WriteTestFile(folder, QStringLiteral("Liste, Größe 1.txt"), SmallList());
  const QString trace = folder + QStringLiteral("/Spur ö.trace");
  sim::Faults faults;
  faults.WrongReadAddress = 0x0401;
  bench.Controller.SetFaults(faults);
  const Outcome out = bench.Upload({"--params", WindowsPath(list), "--trace", WindowsPath(trace)}, BuiltUpload, folder);
  if (driveRoot) LinkDosDevice(drive, {});
  const QString backup = driveRoot ? QStringLiteral("S:\\\\tmpLogWin.txt") : WindowsPath(folder) + "\\tmpLogWin.txt";
  QVERIFY2(out.Status == 4 && out.Err.contains(texts::ErrorDuring("file parameters writing") + "\n" +
                                               texts::Interrupts + "\n" + texts::RescueFrom(backup)),
           qPrintable(Said(out)));
  QVERIFY(QFile::exists(folder + "/tmpLogWin.txt"));
  QFile traced(trace);
  QVERIFY(traced.open(QIODevice::ReadOnly));
  QVERIFY(traced.readAll().contains(" MSG " + texts::ErrorDuring("file parameters writing").toUtf8()));
  QCOMPARE(JournalField(folder), QStringLiteral("interrupted at file parameters writing"));
  // A comma, a blank and letters outside ASCII survive the journal's quoting.
  QCOMPARE(JournalField(folder, "Parameter list").section('\\', -1), QStringLiteral("Liste, Größe 1.txt"));
}

// A Windows command as the hands: its exit status counts. (Through
// "start /wait /unix" Wine hands back 0 whatever the Unix program returned.)
void WineTest::failedActionInterrupts() {
  Bench bench(Dialect::E, 5);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const Outcome out = bench.Upload({"--params", bench.Write("list.txt", SmallList()), "--program",
                                    bench.Write("fw.s19", ProgramFile(12)), "--actions", "cmd /c exit 1"});
  QVERIFY2(out.Status == 4 && out.Err.contains("The action \"bridge-and-cycle\" failed (exit status 1)."),
           qPrintable(Said(out)));
  QCOMPARE(MonitorCommandCount(bench.Controller, "E", 1), 0);
  QVERIFY(JournalField(bench.Dir.path()).startsWith("interrupted at \""));
}

// A name with umlauts, typed as an argument, comes back in each kind of
// output: a refused list's message, a refused trace file, and --history's
// table on standard output. Each path as Windows writes it. And so does a
// controller's value in the restore listing.
void WineTest::namesOutsideAsciiReadBackAsUtf8() {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("Prüfstand"));
  QVERIFY(QDir().mkpath(folder));
  const QString list = WindowsPath(WriteTestFile(folder, QStringLiteral("Größe ä.txt"), QByteArray()));
  const QString trace = WindowsPath(folder) + QStringLiteral("\\fehlt\\Spur ö.trace");
  QVERIFY(list.contains(QStringLiteral("Prüfstand\\Größe ä.txt")));

  Outcome out = RunWindows(BuiltUpload, {"--params", list, "--port", "COM19"}, folder);
  QVERIFY2(out.Status == 2 && out.Err.contains("Parameter list " + list + ": the file is empty."), qPrintable(Said(out)));
  out = RunWindows(BuiltUpload, {"--history"}, folder);
  QVERIFY2(out.Status == 0 && out.Out.contains(QStringLiteral("Größe ä.txt")), qPrintable(Said(out)));
  out = RunWindows(BuiltUpload, {"--params", list, "--trace", trace}, folder);
  QVERIFY2(out.Status == 2 && out.Err.contains("calvenori-upload: cannot write the trace file " + trace + ": "),
           qPrintable(Said(out)));

  // A controller's value with umlauts, its bytes Latin-1 as the program reads
  // them everywhere, in the restore listing; written back as it was read.
  Bench bench(Dialect::E, 19);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  bench.Controller.SetWindow(324, "M\xfcller-\xe4\xf6");
  bench.IdentificationBefore = IdentificationOf(bench.Controller);
  const QString small = bench.Write("list.txt", SmallList());
  out = RunWindows(BuiltUpload, {"--params", small, "--restore", "ask", "--port", bench.Com, "--actions", bench.Hands()},
                   bench.Dir.path(), {}, "\n");
  QVERIFY2(out.Status == 0 && out.Out.contains(QStringLiteral("  Pump Modification Level (Win 324)    Müller-äö\n")),
           qPrintable(Said(out)));
  VerifyUploaded(bench, small, {});
}

// The Details tab and icon of what the build and the package ship; a test
// program, which has neither, shows that the check sees their absence.
void WineTest::programsCarryVersionAndIcon_data() {
  QTest::addColumn<QString>("exe");
  QTest::addColumn<QString>("problems");
  QTest::newRow("window program") << WindowsBuild + "/src/calvenori-uploader.exe" << "";
  QTest::newRow("command line") << BuiltUpload << "";
  QTest::newRow("simulated controller") << WindowsBuild + "/sim/calvenori-sim.exe" << "";
  QTest::newRow("installer") << WindowsBuild + "/package/calvenori-uploader-1.5.0-win64.exe" << "";
  const QString testProgram = WindowsBuild + "/tests/test_about.exe";
  QTest::newRow("a test program") << testProgram << testProgram + " has no resources";
}

void WineTest::programsCarryVersionAndIcon() {
  QFETCH(QString, exe);
  QFETCH(QString, problems);
  QVERIFY2(!DebianTerms().Copyright.isEmpty(), CALVENORI_DEBIAN_COPYRIGHT);
  QCOMPARE(ResourceProblems(exe), problems);
}

// The installer as a technician runs it (silently here), the installed
// programs without the build's DLL folders, an upload from the working folder
// the shortcut starts in, and an uninstall that leaves that folder alone.
void WineTest::installerInstallsUploadsAndUninstalls() {
  const QString installer = WindowsBuild + "/package/calvenori-uploader-1.5.0-win64.exe";
  QVERIFY2(QFile::exists(installer), qPrintable(installer + " is missing: run scripts/windows-package.sh"));
  const QString drive = qEnvironmentVariable("WINEPREFIX") + "/drive_c";
  const QString bin = drive + "/Program Files/Calvenori Uploader/bin";
  const QMap<QString, QString> noBuildDlls{{"WINEPATH", ""}};
  RunWindows(installer, {"/S"}, QDir::tempPath(), noBuildDlls);
  for (const char *program : {"calvenori-upload", "calvenori-uploader", "calvenori-sim"}) {
    const Outcome version = RunWindows(bin + "/" + program + ".exe", {"--version"}, QDir::tempPath(), noBuildDlls);
    QCOMPARE(version.Out, QStringLiteral("%1 1.5.0\n").arg(program));
  }
  QVERIFY(QFile::exists(bin + "/platforms/qwindows.dll"));
  // The training kit: the simulator beside the programs, the example files it names.
  for (const char *example : {"pump-parameters.txt", "pump-controller-v1.5.s19"})
    QVERIFY(QFile::exists(bin + "/../examples/" + example));

  // Explorer's Details tab and the icon, of each program and the uninstaller.
  for (const QString &exe : {bin + "/calvenori-upload.exe", bin + "/calvenori-uploader.exe", bin + "/calvenori-sim.exe",
                             drive + "/Program Files/Calvenori Uploader/Uninstall.exe"})
    QVERIFY2(ResourceProblems(exe).isEmpty(), qPrintable(exe + ": " + ResourceProblems(exe)));

  // The licence page shows the installed copyright.txt, which states the
  // Debian package's terms, followed by the installed notices (UTF-8, marked
  // at the start of the page), which match the DLLs installed and find the
  // changed Qt's source folder.
  const QString installed = drive + "/Program Files/Calvenori Uploader";
  QFile nsis(WindowsBuild + "/package/_CPack_Packages/win64/NSIS/project.nsi");
  QVERIFY(nsis.open(QIODevice::ReadOnly));
  const auto licensePage = QRegularExpression("MUI_PAGE_LICENSE \"([^\"]+)\"").match(QString::fromUtf8(nsis.readAll()));
  QVERIFY(licensePage.hasMatch());
  QFile shown(licensePage.captured(1)), installedTerms(installed + "/copyright.txt"),
      installedNotices(installed + "/THIRD-PARTY-NOTICES.txt");
  QVERIFY(shown.open(QIODevice::ReadOnly) && installedTerms.open(QIODevice::ReadOnly) &&
          installedNotices.open(QIODevice::ReadOnly));
  const QByteArray terms = installedTerms.readAll(), notices = installedNotices.readAll(), bom = "\xef\xbb\xbf";
  QVERIFY(notices.startsWith(bom));
  QCOMPARE(shown.readAll(), bom + terms + "\r\n" + notices.mid(bom.size()));
  QCOMPARE(KitProblems(installed), QString());
  const Terms debian = DebianTerms();
  QVERIFY(debian.License.size() > 1);
  for (const QString &line : QStringList{debian.Copyright} + debian.License)
    QVERIFY2(terms.contains((line + "\r\n").toUtf8()), qPrintable(line));

  // Wine's Documents is the Unix home.
  const QString working = qEnvironmentVariable("HOME") + "/Calvenori Uploader";
  QVERIFY(QFileInfo(working).isDir());
  // Both shortcuts are the technician's own: none for all users.
  const QString menu = QStringLiteral("/Microsoft/Windows/Start Menu/Programs/Calvenori Uploader 1.5.0/");
  const QString userMenu = drive + "/users/" + qEnvironmentVariable("USER", "root") + "/AppData/Roaming" + menu;
  const QString shortcut = userMenu + "Calvenori Uploader.lnk";
  QVERIFY(QFile::exists(userMenu + "Uninstall.lnk"));
  QVERIFY2(!QFileInfo::exists(drive + "/ProgramData" + menu), qPrintable(QDir(drive + "/ProgramData" + menu).entryList().join(' ')));
  QFile link(shortcut);
  QVERIFY2(link.open(QIODevice::ReadOnly), qPrintable(shortcut));
  const QString startIn = QStringLiteral("\\Documents\\Calvenori Uploader");
  QVERIFY(link.readAll().contains(QByteArray(reinterpret_cast<const char *>(startIn.utf16()), startIn.size() * 2)));

  Bench bench(Dialect::E, 6);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString list = bench.Write("list.txt", SmallList());
  const QByteArray program = ProgramFile(12);
  QStringList args{"--params", WindowsPath(list), "--program", WindowsPath(bench.Write("fw.s19", program)),
                   "--restore", "keep", "--port", bench.Com, "--actions", bench.Hands()};
  const Outcome out = RunWindows(bin + "/calvenori-upload.exe", args, working, noBuildDlls);
  QVERIFY2(out.Status == 0 && out.Out.contains(FullSuccess), qPrintable(Said(out)));
  VerifyUploaded(bench, list, program);
  QVERIFY(QFile::exists(working + "/tmpLogWin.txt"));

  // The uninstaller hands over to a copy of itself and returns at once: wait
  // for the programs to go.
  RunWindows(drive + "/Program Files/Calvenori Uploader/Uninstall.exe", {"/S"}, QDir::tempPath(), noBuildDlls);
  QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(bin + "/calvenori-upload.exe") && !QFile::exists(bin + "/Qt6Core.dll") &&
                               !QFileInfo::exists(userMenu) && !QFile::exists(installed + "/THIRD-PARTY-NOTICES.txt") &&
                               !QFileInfo::exists(installed + "/source"),
                           60000);
  QVERIFY(QFile::exists(working + "/tmpLogWin.txt"));
}

// The ZIP, unpacked, holds what the installer puts beside the programs: the
// terms, the notices matching the DLLs the ZIP holds, the changed Qt's source.
void WineTest::zipKitCarriesTermsAndNotices() {
  const QString zip = WindowsBuild + "/package/calvenori-uploader-1.5.0-win64.zip";
  QVERIFY2(QFile::exists(zip), qPrintable(zip + " is missing: run scripts/windows-package.sh"));
  QTemporaryDir dir;
  QProcess unpack;
  unpack.setWorkingDirectory(dir.path());
  unpack.start(QStringLiteral(CALVENORI_CMAKE), {"-E", "tar", "xf", zip});
  QVERIFY(unpack.waitForFinished(-1) && unpack.exitStatus() == QProcess::NormalExit && unpack.exitCode() == 0);
  const QString kit = dir.filePath("calvenori-uploader-1.5.0-win64");
  QVERIFY(QFile::exists(kit + "/copyright.txt"));
  QCOMPARE(KitProblems(kit), QString());
}

// Wine turns SIGINT into the console's Ctrl+C for a Windows program.
void WineTest::ctrlCEndsTheUploadCleanly() {
  Bench bench(Dialect::E, 8);
  QVERIFY2(bench.Error.isEmpty(), qPrintable(bench.Error));
  const QString trace = bench.Dir.filePath("wire.trace");
  QProcess process;
  process.setProcessEnvironment(WineEnvironment());
  process.setWorkingDirectory(bench.Dir.path());
  process.start("wine", {BuiltUpload, "--params", WindowsPath(bench.Write("list.txt", SmallList())), "--program",
                         WindowsPath(bench.Write("fw.s19", ProgramFile(3000))), "--trace", WindowsPath(trace),
                         "--port", bench.Com, "--actions", bench.Hands()});
  QVERIFY(process.waitForStarted(-1));
  QTRY_VERIFY_WITH_TIMEOUT(bench.Controller.Received().count("S1") >= 2 || process.state() != QProcess::Running, 60000);
  QVERIFY2(process.state() == QProcess::Running, process.readAllStandardError().constData());
  ::kill(process.processId(), SIGINT);
  QVERIFY(process.waitForFinished(-1));
  const QString err = QString::fromLatin1(process.readAllStandardError()).replace("\r\n", "\n");
  QCOMPARE(process.exitCode(), 4);
  QVERIFY2(err.contains("The upload was stopped by SIGINT (Ctrl-C) during \"Sending Program File\"."), qPrintable(err));
  QFile traced(trace);
  QVERIFY(traced.open(QIODevice::ReadOnly));
  QVERIFY2(traced.readAll().trimmed().endsWith(" closed"), "the trace has no closing line");
  QVERIFY(bench.Controller.Received().count("S1") < 3000);
  QCOMPARE(JournalField(bench.Dir.path()), QStringLiteral("cut short by SIGINT (Ctrl-C) at \"Sending Program File\""));
}

// The training kit on Windows: the Windows simulator serves COM17 and the
// uploader opens COM18, the two joined as by a null-modem pair; the hands are
// the Windows simulator's own "ctl" through its named pipe. Then what the
// controller holds is read back through the pair, and the simulator ends with
// its standard input. The replies leave whole (not paced): see wholeUploads.
void WineTest::trainingKitOnAPairOfComPorts_data() {
  QTest::addColumn<QStringList>("simulator");
  QTest::addColumn<bool>("full");
  QTest::newRow("full, (E)") << QStringList() << true;
  QTest::newRow("parameter list, Er") << QStringList{"--dialect", "Er"} << false;
}
void WineTest::trainingKitOnAPairOfComPorts() {
  QFETCH(QStringList, simulator);
  QFETCH(bool, full);
  NullModemPair pair;
  QVERIFY2(pair.Started(), qPrintable(pair.Error()));
  QVERIFY(LinkDosDevice("com17", pair.End(0)) && LinkDosDevice("com18", pair.End(1)));
  const QString simExe = WindowsBuild + "/sim/calvenori-sim.exe";
  const QString pipe = QStringLiteral("calvenori-wine-%1").arg(QCoreApplication::applicationPid());
  QProcess served;
  served.setProcessEnvironment(WineEnvironment());
  served.start("wine", QStringList{simExe} + simulator + QStringList{"--device", "COM17", "--control", pipe});
  while (!served.canReadLine()) QVERIFY2(served.waitForReadyRead(-1), served.readAllStandardError().constData());
  QCOMPARE(served.readLine().trimmed(), QByteArray("COM17"));

  QTemporaryDir dir;
  const auto upload = [&](QStringList args) {
    return RunWindows(BuiltUpload, args << "--port" << "COM18" << "--actions" << WindowsPath(simExe) + " ctl " + pipe,
                      dir.path());
  };
  const QString list = QStringLiteral(CALVENORI_SOURCE_EXAMPLES "/pump-parameters.txt");
  QStringList args{"--params", list, "--restore", "keep"};
  if (full) args << "--program" << QStringLiteral(CALVENORI_SOURCE_EXAMPLES "/pump-controller-v1.5.s19");
  const Outcome uploaded = upload(args);
  QVERIFY2(uploaded.Status == 0 && uploaded.Out.contains(full ? FullSuccess : ParameterSuccess),
           qPrintable(Said(uploaded)));
  const Outcome verified = upload({"--verify", "--params", list});
  QVERIFY2(verified.Status == 0 && verified.Out.contains("different: 0."), qPrintable(Said(verified)));

  served.closeWriteChannel();
  QVERIFY(served.waitForFinished(-1));
  QCOMPARE(served.exitCode(), 0);
  // Without a port to serve there is nothing on Windows to serve instead.
  const Outcome refused = RunWindows(simExe, simulator, dir.path());
  QVERIFY2(refused.Status == 2 && refused.Err.contains("--device COMn"), qPrintable(Said(refused)));
  LinkDosDevice("com17", {});
  LinkDosDevice("com18", {});
}

QTEST_GUILESS_MAIN(WineTest)
#include "test_wine.moc"
