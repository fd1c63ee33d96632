// Every bad input and fault the uploader has to survive, one row each, with
// what the technician is told and what must (not) have happened: a bad file
// never reaches the controller, an earlier backup is never lost, the port is
// always closed again and the window back at its idle height.
#include "ProgramTransfer.h"
#include "ParameterList.h"
#include "ProgramTexts.h"
#include "ProgramFileCheck.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "UploadRig.h"
#include "UploadTexts.h"
#include "RestoreDialog.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QSerialPort>
#include <QtTest>

#include <functional>
#include <memory>

using namespace expect;

namespace {

enum class Outcome {
  Refused,      // before the port opens: one message, nothing sent
  Interrupted,  // after the controller was spoken to: no success message
  Completed,    // the upload goes through despite the fault
};

enum class BackupAfter {
  Kept,   // whatever was there before the upload is still there, unchanged
  Fresh,  // replaced by a whole backup of this controller
};

// What stands at the backup's place: its content, or that it is a directory.
QByteArray BackupState(const UploadRig &rig) {
  const QString path = rig.WorkDir.filePath("tmpLogWin.txt");
  if (QFileInfo(path).isDir()) return "(a directory)";
  return rig.BackupFile();
}

struct Context {
  UploadRig &Rig;
  QString List, Program;
  std::unique_ptr<QSerialPort> Holder;  // another program's hold on the port
  std::unique_ptr<QLockFile> OtherUpload;  // another upload's hold on the folder
};

struct Entry {
  bool Input = true;  // a bad input (file) rather than a fault of the line or controller
  bool Full = false;
  std::function<void(Context &)> Prepare;
  Outcome Result = Outcome::Refused;
  // The last message; "*" stands for any text, {list} {program} {backup} {port}
  // for the paths of this run.
  QString Message;
  BackupAfter Backup = BackupAfter::Kept;
  // Restore dialog rows shown red, by window, with their tooltips as patterns
  // like Message; every other row unmarked.
  std::map<int, QString> Marked{};
};

const QByteArray EarlierBackup = "VE (Win 310)\t\t004321\r\n(an earlier upload's backup)\r\n";
// Its modification time, and so the name it is kept under when replaced.
const QDateTime EarlierSaved(QDate(2026, 12, 7), QTime(19, 30, 12));
const QString EarlierKept = "tmpLogWin-20261207-193012.txt";

QByteArray Header(const QByteArray &start = "&H0400", const QByteArray &crcLine = "CRC,4660") {
  return start + ",Pump list,P-77\r\nRelease,V3\r\n" + crcLine + "\r\n";
}
QByteArray GoodList() { return Header() + "2,Speed,1500\r\n1,Mode,200\r\n"; }

void Overwrite(const QString &path, const QByteArray &content) {
  QFile::remove(path);
  WriteTestFile(QFileInfo(path).path(), QFileInfo(path).fileName(), content);
}

std::function<void(Context &)> ListIs(const QByteArray &content) {
  return [content](Context &c) { Overwrite(c.List, content); };
}

std::function<void(Context &)> ProgramIs(const QByteArray &content) {
  return [content](Context &c) { Overwrite(c.Program, content); };
}

std::function<void(Context &)> ControllerFault(std::function<void(sim::Faults &)> set) {
  return [set](Context &c) {
    sim::Faults f;
    set(f);
    c.Rig.Controller.SetFaults(f);
  };
}

QByteArray ProgramWithLine(int index, const QByteArray &line) {
  QList<QByteArray> lines = ProgramFile(12).split('\n');
  lines[index] = line + "\r";
  return lines.join('\n');
}

QByteArray ProgramWithBadChecksum() {
  QList<QByteArray> lines = ProgramFile(12).split('\n');
  QByteArray &sixth = lines[5];
  const int digit = sixth.size() - 2;  // before the CR
  sixth[digit] = sixth[digit] == '0' ? '1' : '0';
  return lines.join('\n');
}

// Does `text` read as `pattern`, "*" standing for any run of characters?
bool Matches(const QString &text, const QString &pattern) {
  const QStringList pieces = pattern.split('*');
  if (!text.startsWith(pieces.first())) return false;
  qsizetype at = pieces.first().size();
  for (int i = 1; i < pieces.size(); ++i) {
    const bool last = i == pieces.size() - 1;
    const qsizetype found = last ? text.size() - pieces[i].size() : text.indexOf(pieces[i], at);
    if (found < at || (last && !text.endsWith(pieces[i]))) return false;
    at = found + pieces[i].size();
  }
  return pieces.size() > 1 || text.size() == pattern.size();
}

const QString Interrupts = "\n" + texts::Interrupts;
const QString Rescue = Interrupts + "\n" + texts::RescueFrom("{backup}");
const QString Unchanged = "\n" + texts::Unchanged;
// What the controller needs once an upload stopped halfway, and the finish:
// with the values of the upload's own backup, whose name holds the time.
QString Left(bool full, Remains remains) {
  return "\n" + NeedsText(full ? UploadKind::Full : UploadKind::ParameterList, remains) + "\n" + FinishInWindow("*");
}
const QString Finish = Left(true, Remains::Program);
const QString ListLeft = Left(false, Remains::Parameters);

// The controller answers `blank` windows with zero or an empty text, as
// once erased; kept so, they are written back as they are.
std::function<void(Context &)> BlankWindows(const QList<int> &blank) {
  return [blank](Context &c) {
    for (int win : blank) c.Rig.Controller.SetWindow(win, win == 310 || win == 311 ? "000000" : "");
  };
}

QList<QPair<const char *, Entry>> Catalogue() {
  QList<QPair<const char *, Entry>> rows;
  const auto input = [&](const char *name, bool full, std::function<void(Context &)> prepare, const QString &message) {
    rows << qMakePair(name, Entry{true, full, prepare, Outcome::Refused, message, BackupAfter::Kept});
  };
  const auto fault = [&](const char *name, bool full, std::function<void(Context &)> prepare, Outcome result,
                         const QString &message, BackupAfter backup) {
    rows << qMakePair(name, Entry{false, full, prepare, result, message, backup});
  };

  // --- Parameter lists ---
  input("list: missing", false, [](Context &c) { QFile::remove(c.List); },
        "Parameter list {list} cannot be opened: No such file or directory.");
  input("list: unreadable (a directory)", false,
        [](Context &c) {
          QFile::remove(c.List);
          QDir().mkdir(c.List);
        },
        "Parameter list {list} cannot be opened: *directory*");
  input("list: unreadable (a link to nothing)", false,
        [](Context &c) {
          QFile::remove(c.List);
          QFile::link(c.Rig.WorkDir.filePath("gone.txt"), c.List);
        },
        "Parameter list {list} cannot be opened: No such file or directory.");
  input("list: empty", false, ListIs(""), "Parameter list {list}: the file is empty.");
  input("list: only line ends", false, ListIs("\r\n\r\n\r\n"),
        "Parameter list {list}, line 1: the start address is missing (the first field of the file).");
  input("list: ends in the middle of a record", false, ListIs(Header() + "2,Speed,1500\r\n4,Flow"),
        "Parameter list {list}, line 5: the file ends in the middle of a record*");
  input("list: value beyond 32 bits", false, ListIs(Header() + "2,Speed,1500\r\n4,Flow,4294967296\r\n"),
        "Parameter list {list}, line 5: the value *4294967296* does not fit 32 bits.");
  input("list: size beyond 16 bits", false, ListIs(Header() + "70000,Speed,1500\r\n"),
        "Parameter list {list}, line 4: the size *70000* does not fit 16 bits.");
  input("list: start address beyond 16 bits", false, ListIs(Header("&H10000") + "2,Speed,1500\r\n"),
        "Parameter list {list}, line 1: the start address *&H10000* does not fit 16 bits*");
  input("list: start address mistyped", false, ListIs(Header("&H04O0") + "2,Speed,1500\r\n"),
        "Parameter list {list}, line 1: the start address \"&H04O0\" has other text after its number (\"O0\").");
  input("list: value is text", false, ListIs(Header() + "2,Speed,1500\r\n1,Mode,fast\r\n"),
        "Parameter list {list}, line 5: the value \"fast\" of the 1-byte parameter *is not a number.");
  input("list: four fields on a line", false, ListIs(Header() + "2,Speed,1500,rpm\r\n1,Mode,3\r\n"),
        "Parameter list {list}, line 4: there are more than three fields on this line*");
  input("list: blank line between parameters", false, ListIs(Header() + "2,Speed,1500\r\n\r\n1,Mode,3\r\n"),
        "Parameter list {list}, line 5: this line is blank*");
  input("list: quote left open", false, ListIs(Header() + "2,\"Speed,1500\r\n"),
        "Parameter list {list}, line 4: a double quote opens a text that is not closed on this line.");
  input("list: no parameter at all", false, ListIs(Header()),
        "Parameter list {list}: the file holds no parameter*");
  // Its only comma is the second character, which the CRC reading passes over.
  input("list: no comma for the CRC on its third line", false, ListIs(Header("&H0400", "4,4660") + "2,Speed,1500\r\n"),
        "Parameter list {list}, line 3: there is no comma from the third character on*");
  input("list: CRC is not a number", false, ListIs(Header("&H0400", "CRC,12AB") + "2,Speed,1500\r\n"),
        "Parameter list {list}, line 3: the CRC *12AB* after the comma is not a whole decimal number.");
  input("list: binary garbage", false, ListIs(QByteArray("\x00\xFF\x01,\x02\"\r\x80\x7F", 10)),
        "Parameter list {list}, line 1: the start address * is not a number*");
  input("list: value is text, full mode", true, ListIs(Header() + "1,Mode,fast\r\n"),
        "Parameter list {list}, line 4: the value \"fast\"*");

  // --- Program files ---
  input("program: missing", true, [](Context &c) { QFile::remove(c.Program); },
        "Program file {program} cannot be opened: No such file or directory.");
  input("program: empty", true, ProgramIs(""), "Program file {program}: the file is empty; it holds no S-record.");
  input("program: blank lines only", true, ProgramIs("\r\n  \r\n"),
        "Program file {program}: the file holds no S-record, only blank lines.");
  input("program: a line holds a comma", true, ProgramIs(ProgramWithLine(2, "S1130810,0A1B2C3D4E5F")),
        "Program file {program}, line 3: the line holds a comma.");
  input("program: wrong checksum", true, ProgramIs(ProgramWithBadChecksum()),
        "Program file {program}, line 6: the checksum is * but should be *.");
  input("program: record cut short", true, ProgramIs(ProgramWithLine(4, ProgramFile(12).split('\r')[4].trimmed().left(20))),
        "Program file {program}, line 5: the byte count * does not match the * bytes that follow it on the line.");
  input("program: not S-records", true, ProgramIs("Hello pump!\r\n"), "Program file {program}, line 1: *");
  input("program: blank before a record", true, ProgramIs(ProgramWithLine(1, " " + ProgramFile(12).split('\r')[1].trimmed())),
        "Program file {program}, line 2: the line begins with a blank.");

  // --- Where the tool runs ---
  fault("backup: its name is taken by a directory", false,
        [](Context &c) {
          QFile::remove(c.Rig.WorkDir.filePath("tmpLogWin.txt"));
          QVERIFY(QDir(c.Rig.WorkDir.path()).mkdir("tmpLogWin.txt"));
        },
        Outcome::Interrupted,
        "The backup file {backup} could not be written: *" + Interrupts + Unchanged, BackupAfter::Kept);
  fault("backup: the directory takes no new files", false, [](Context &) { QVERIFY(QDir::setCurrent("/proc")); },
        Outcome::Refused,
        "The working folder /proc cannot take the backup file tmpLogWin.txt: a file cannot be written there (*)."
        "\nThe upload has not been started.",
        BackupAfter::Kept);
  fault("backup: the earlier one cannot be kept", true,
        [](Context &c) { QVERIFY(QDir(c.Rig.WorkDir.path()).mkdir(EarlierKept)); }, Outcome::Interrupted,
        "The earlier backup file {backup} could not be kept as *" + EarlierKept + ": *" + Interrupts + Unchanged +
            " It waits in its boot monitor: take the bridge off pins 5 and 9, then switch it off and on again.",
        BackupAfter::Kept);
  fault("backup: another upload runs in the folder", true,
        [](Context &c) {
          c.OtherUpload = std::make_unique<QLockFile>(c.Rig.WorkDir.filePath("tmpLogWin.txt.lock"));
          QVERIFY(c.OtherUpload->tryLock(0));
        },
        Outcome::Refused,
        "The working folder * cannot take the backup file tmpLogWin.txt: another upload is running there (*)."
        "\nThe upload has not been started.",
        BackupAfter::Kept);
  fault("port: no such device", false, [](Context &) { qputenv("CALVENORI_PORTS", "/nonexistent/ttyX"); },
        Outcome::Refused, "Serial port 1 could not be opened ({port}): *\nThe upload has not been started.*",
        BackupAfter::Kept);
  fault("port: held by another program", false,
        [](Context &c) {
          c.Holder = std::make_unique<QSerialPort>(c.Rig.Controller.SlavePath());
          QVERIFY2(c.Holder->open(QIODevice::ReadWrite), qPrintable(c.Holder->errorString()));
        },
        Outcome::Refused, "Serial port 1 could not be opened ({port}): *\nThe upload has not been started.*",
        BackupAfter::Kept);
  // What is sent is what was checked: the list read once, at the start.
  fault("list: changed during the upload, CRC gone", false,
        [](Context &c) {
          // Once the controller is in its monitor, someone saves a new list over it.
          auto *timer = new QTimer(c.Rig.Window.get());
          QObject::connect(timer, &QTimer::timeout, timer, [&c, timer] {
            if (c.Rig.Controller.CurrentMode() != sim::Mode::ParameterMonitor) return;
            Overwrite(c.List, Header("&H0400", "CRC 4660") + "2,Speed,1500\r\n");
            timer->stop();
          });
          timer->start(0);
        },
        Outcome::Completed, ParameterSuccess, BackupAfter::Fresh);

  // --- The controller and the line ---
  const QString savingParameters =
      texts::ErrorDuring("saving parameters") + Rescue + Unchanged.chopped(1) + ", and this upload did not write tmpLogWin.txt.";
  fault("controller: silent", false, ControllerFault([](sim::Faults &f) { f.Silent = true; }), Outcome::Interrupted,
        texts::ErrorDuring("saving parameters") + Rescue +
            "\nThe controller does not answer on serial port 1 ({port}): check the cable and the controller's power. "
            "This upload changed nothing in it and did not write tmpLogWin.txt.",
        BackupAfter::Kept);
  fault("controller: NAKs every request", false,
        ControllerFault([](sim::Faults &f) { f.ReplyOverride = sim::StatusReply(sim::NAK); }), Outcome::Interrupted,
        savingParameters, BackupAfter::Kept);
  fault("controller: streams bytes without end", false, ControllerFault([](sim::Faults &f) { f.EndlessStream = true; }),
        Outcome::Interrupted, savingParameters, BackupAfter::Kept);
  fault("controller: replies cut short after ETX", false,
        ControllerFault([](sim::Faults &f) { f.TruncateAfterEtxPlusOne = true; }), Outcome::Interrupted,
        savingParameters, BackupAfter::Kept);
  fault("controller: monitor never answers", false, ControllerFault([](sim::Faults &f) { f.SilentMonitor = true; }),
        Outcome::Interrupted, texts::ErrorDuring("setting in monitor mode") + Rescue + ListLeft, BackupAfter::Fresh);
  fault("controller: stray bytes before every reply", false,
        ControllerFault([](sim::Faults &f) { f.StrayBytes = QByteArray("\xFF\x00\x15Z", 4); }), Outcome::Completed,
        ParameterSuccess, BackupAfter::Fresh);
  fault("controller: wrong reply checksums", false, ControllerFault([](sim::Faults &f) { f.BadChecksum = true; }),
        Outcome::Completed, ParameterSuccess, BackupAfter::Fresh);
  fault("program: the monitor refuses a record", true, ControllerFault([](sim::Faults &f) {
          f.RefuseRecord = 4;
          f.RefuseRecordTimes = RefusedRecordAttempts;
        }),
        Outcome::Interrupted, texts::ErrorDuring("Programming Controller") + Rescue + Finish, BackupAfter::Fresh);
  fault("read-back: answered after an echo of the command", false,
        ControllerFault([](sim::Faults &f) { f.ReadBack = sim::ReadBackForm::Echo; }), Outcome::Completed,
        ParameterSuccess, BackupAfter::Fresh);
  fault("read-back: answered in lower case", false,
        ControllerFault([](sim::Faults &f) { f.ReadBack = sim::ReadBackForm::LowerCase; }), Outcome::Completed, ParameterSuccess, BackupAfter::Fresh);
  fault("read-back: a wrong byte", false, ControllerFault([](sim::Faults &f) { f.WrongReadAddress = 0x0401; }),
        Outcome::Interrupted,
        texts::ErrorDuring("file parameters writing") + Rescue + "\nAddress 0401: wrote DC, read back 23." + ListLeft,
        BackupAfter::Fresh);
  fault("read-back: the request looped back", false,
        ControllerFault([](sim::Faults &f) { f.ReadBackOverride = "R0400\r"; }), Outcome::Interrupted,
        texts::ErrorDuring("file parameters writing") + Rescue + "\nAddress 0400: wrote 05, read back \"R0400\\r\"." + ListLeft,
        BackupAfter::Fresh);
  fault("list: begins with a UTF-8 byte-order mark", false, ListIs("\xEF\xBB\xBF" + GoodList()), Outcome::Completed,
        ParameterSuccess, BackupAfter::Fresh);
  fault("line: hangs up during the parameter list", false,
        ControllerFault([](sim::Faults &f) {
          // Nine reads, window 500, the two monitor probes and the CRC; then
          // one parameter write and half of the next.
          f.HangUpAfterBytesReceived = 9 * 9 + 10 + 1 + 2 + (1 + 6) + 8 + 4;
        }),
        Outcome::Interrupted, "The connection to serial port 1 ({port}) was lost." + Rescue + ListLeft, BackupAfter::Fresh);

  // --- Blank identification windows, against the earlier backup kept ---
  const QString keptLine = "*" + EarlierKept + ", saved 2026-12-07 19:30:12 (Controller P/N (empty), Controller S/N "
                           "(empty), Pump S/N (empty))";
  const QString erasedTip = "Every window read zero or empty, as an erased controller answers: these are not this "
                            "controller's values.";
  const QString keptTip = "This window read zero or empty, but the kept backup " + keptLine +
                          ", holds \"004321\" for it: sent as shown, the blank replaces that value.";
  const QString rescueTip = "\nThe last values read from a controller are in " + keptLine +
                            ": check them against the pump's label.";
  std::map<int, QString> everyRow;
  for (int win : IdentificationWindowNumbers()) everyRow[win] = erasedTip + (win == 310 ? " " + keptTip : "") + rescueTip;
  rows << qMakePair("identification: every window blank", Entry{false, false, BlankWindows(IdentificationWindowNumbers()),
                                                               Outcome::Completed, ParameterSuccess + rescueTip,
                                                               BackupAfter::Fresh, everyRow});
  // The earlier backup holds no value for window 311: its blank is no suspect.
  rows << qMakePair("identification: partly restored, 310 and 311 blank",
                    Entry{false, false, BlankWindows({310, 311}), Outcome::Completed, ParameterSuccess,
                          BackupAfter::Fresh, {{310, keptTip}}});
  return rows;
}

}  // namespace

Q_DECLARE_METATYPE(Entry)

class FaultCatalogueTest : public QObject {
  Q_OBJECT

 private slots:
  void catalogue_data();
  void catalogue();
  void programFileLongerThan32767LinesIsAccepted();
  void cleanupTestCase();

 private:
  int inputsTried_ = 0;
  int faultsSurvived_ = 0;
};

void FaultCatalogueTest::catalogue_data() {
  QTest::addColumn<Entry>("entry");
  for (const auto &[name, entry] : Catalogue()) QTest::newRow(name) << entry;
}

void FaultCatalogueTest::catalogue() {
  QFETCH(Entry, entry);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Context c{rig, rig.Write("list.txt", GoodList()), rig.Write("fw.s19", ProgramFile(12)), nullptr, nullptr};
  {
    QFile earlier(rig.Write("tmpLogWin.txt", EarlierBackup));
    QVERIFY(earlier.open(QIODevice::ReadWrite) && earlier.setFileTime(EarlierSaved, QFileDevice::FileModificationTime));
  }
  if (entry.Full) {
    rig.ChooseFullMode();
    rig.ChooseProgramFile(c.Program);
  }
  rig.ChooseParameterList(c.List);
  rig.TickCheckErrors();
  entry.Prepare(c);
  if (QTest::currentTestFailed()) return;
  const auto identification = IdentificationOf(rig.Controller);
  std::map<int, QString> tooltips;
  rig.Hands->OnRestoreDialog = [&](RestoreDialog &dialog) {
    for (int i = 0; i < IdWindowCount; ++i) tooltips[BlankBackup()[i].Win] = dialog.RowLabel(i)->toolTip();
  };
  const QByteArray backupBefore = BackupState(rig);
  const QString backup = QDir(QDir::currentPath()).canonicalPath() + "/tmpLogWin.txt";
  const QString port = PortDeviceName(1);
  bool portOpenAtFirstMessage = true;
  int heightAtFirstMessage = 0;
  rig.Hands->OnMessage = [&](const QString &) {
    if (rig.Hands->Messages.size() > 1) return;
    portOpenAtFirstMessage = rig.Window->Port().IsOpen();
    heightAtFirstMessage = rig.Window->OuterHeightTwips();
  };

  rig.StartUpload();

  QString expected = entry.Message;
  expected.replace("{list}", c.List).replace("{program}", c.Program).replace("{backup}", backup).replace("{port}", port);
  const QString shown = rig.Hands->LastMessage();
  QVERIFY2(Matches(shown, expected), qPrintable("shown:    " + shown + "\nexpected: " + expected));
  switch (entry.Result) {
    case Outcome::Refused:
      QCOMPARE(rig.Hands->Messages.size(), 1);
      QVERIFY(!portOpenAtFirstMessage);
      QCOMPARE(heightAtFirstMessage, 3450);
      QCOMPARE(rig.Controller.Received(), QByteArray());
      break;
    case Outcome::Interrupted:
      QVERIFY(!rig.Hands->Messages.contains(ParameterSuccess));
      QVERIFY(!rig.Controller.Locked());
      QCOMPARE(rig.Hands->RestoreDialogsShown, 0);
      break;
    case Outcome::Completed: {
      QCOMPARE(rig.Hands->Messages.size(), 2);
      QCOMPARE(rig.Hands->Messages.first(), PowerCyclePrompt);
      QCOMPARE(tooltips.size(), size_t(IdWindowCount));
      for (const auto &[win, tip] : tooltips) {
        const QString marked = entry.Marked.count(win) ? entry.Marked.at(win) : QString();
        QVERIFY2(marked.isEmpty() ? tip.isEmpty() : Matches(tip, marked), qPrintable(QString::number(win) + ": " + tip));
      }
      QString error;
      const auto memory = rig.Controller.ParameterMemory();
      for (const auto &[address, byte] : ParameterByteMap(c.List, &error)) QCOMPARE(int(memory.at(address)), int(byte));
      QVERIFY(IdentificationOf(rig.Controller) == identification);
      QVERIFY(rig.Controller.Locked());
      break;
    }
  }
  QCOMPARE(BackupState(rig), entry.Backup == BackupAfter::Kept ? backupBefore : BackupFileOf(identification));
  // A replaced backup is kept, byte for byte, under the time it was saved.
  const QStringList kept = QDir(rig.WorkDir.path()).entryList({"tmpLogWin-*"}, QDir::Files);
  QCOMPARE(kept, entry.Backup == BackupAfter::Fresh ? QStringList{EarlierKept} : QStringList{});
  if (!kept.isEmpty()) {
    QFile copy(rig.WorkDir.filePath(EarlierKept));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), EarlierBackup);
  }
  QVERIFY(!rig.Window->Port().IsOpen());
  QCOMPARE(rig.Window->OuterHeightTwips(), 3450);
  QVERIFY(!rig.Window->Busy());

  if (QTest::currentTestFailed()) return;
  if (entry.Input) ++inputsTried_;
  else ++faultsSurvived_;
}

void FaultCatalogueTest::programFileLongerThan32767LinesIsAccepted() {
  // A counter of 16 bits would have run over; the check reads one line at a time.
  QTemporaryDir dir;
  const QByteArray file = ProgramFile(40000);
  QCOMPARE(file.count('\n'), 40002);
  const QString path = WriteTestFile(dir.path(), "long.s19", file);
  const Verdict fit = CheckProgramFile(path);
  QVERIFY2(fit, qPrintable(fit.Why));
  // The same file with one bad record near its end is still read to there.
  QByteArray spoiled = file;
  spoiled.replace(spoiled.lastIndexOf("S1"), 2, "S?");
  const Verdict refused = CheckProgramFile(WriteTestFile(dir.path(), "spoiled.s19", spoiled));
  QVERIFY(!refused);
  QVERIFY2(refused.Why.contains(", line 40001: "), qPrintable(refused.Why));
  inputsTried_ += 2;
}

void FaultCatalogueTest::cleanupTestCase() {
  qInfo("Fault catalogue: %d inputs tried, %d faults survived", inputsTried_, faultsSurvived_);
}

QTEST_MAIN(FaultCatalogueTest)
#include "test_fault_catalogue.moc"
