// Complete uploads through the main window, as a technician runs them: the
// real window and port, the simulated controller on a pseudo-terminal, and a
// technician who reads every message box and does what it asks.
#include "ProgramTransfer.h"
#include "FailureRecord.h"
#include "TestDialects.h"
#include "ProgramTexts.h"
#include "KeptBackups.h"
#include "ParameterList.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "UploadRig.h"
#include "RestoreDialog.h"
#include "IdWindows.h"
#include "Journal.h"
#include "SessionEnd.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

using namespace expect;
using sim::Dialect;

namespace {

// New firmware comes up with its identification blank: only the restore
// dialog can bring the saved values back.
void BlankIdentificationOnPowerCycle(UploadRig &rig) {
  rig.Hands->OnMessage = [&rig](const QString &text) {
    if (text != PowerCyclePrompt) return;
    for (int w : IdentificationWindowNumbers()) rig.Controller.SetWindow(w, w <= 311 ? "0" : "BLANK");
  };
}

int SRecordsReceived(const sim::SimulatedController &c) { return MonitorCommandCount(c, "S"); }

#define EXPECT_IDLE(rig)                                  \
  do {                                                    \
    QVERIFY(!(rig).Window->Port().IsOpen());              \
    QCOMPARE((rig).Window->OuterHeightTwips(), 3450);     \
    QVERIFY(!(rig).Window->Busy());                       \
  } while (0)

sim::Faults With(std::function<void(sim::Faults &)> set) {
  sim::Faults f;
  set(f);
  return f;
}

}  // namespace

Q_DECLARE_METATYPE(Dialect)
Q_DECLARE_METATYPE(sim::Faults)

class UploadEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void completeUpload_data();
  void completeUpload();
  void completeUploadThroughEachLine_data();
  void completeUploadThroughEachLine();
  void completeUploadAgainstEachMonitorForm_data();
  void completeUploadAgainstEachMonitorForm();
  void restoreLoopReopensTheDialogAfresh();
  void interruptedFullUploadIsFinished_data();
  void interruptedFullUploadIsFinished();
  void erasedControllerPointsAtTheEarlierBackup();
  void nothingActsWhileAnUploadRuns();
  void signalStopsTheUploadAtASafePoint();
  void portThatDoesNotOpenInTimeFreezesNothing();
  void noisyLineUploadCompletes_data();
  void noisyLineUploadCompletes();
  void pulledAdapterIsWaitedForInTheStatusFrame();
};

// An erased controller answers every identification window, but with
// nothing: its backup holds no one's values, and the window says whose are where.
void UploadEndToEndTest::erasedControllerPointsAtTheEarlierBackup() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, true, SmallList());
  rig.StartUpload();
  QCOMPARE(rig.Hands->LastMessage(), ParameterSuccess);
  const QDateTime firstSaved = QFileInfo(rig.WorkDir.filePath("tmpLogWin.txt")).lastModified();
  // What a full upload whose windows were not written back leaves.
  for (const IdWindow &row : BlankBackup()) rig.Controller.SetWindow(row.Win, "");

  QStringList tooltips;
  rig.Hands->OnRestoreDialog = [&](RestoreDialog &dialog) {
    for (int row = 0; row < IdWindowCount; ++row) tooltips << dialog.ValueBox(row)->toolTip();
  };
  rig.StartUpload();

  const QString named = "The last values read from a controller are in " +
                        QDir(QDir::currentPath()).filePath(KeptBackupName(firstSaved)) + ", saved " +
                        firstSaved.toString("yyyy-MM-dd HH:mm:ss") +
                        " (Controller P/N CU-4471-02, Controller S/N C23119876, Pump S/N P24051703): check them "
                        "against the pump's label.";
  QVERIFY2(rig.Hands->LastMessage() == ParameterSuccess + "\n" + named, qPrintable(rig.Hands->LastMessage()));
  QCOMPARE(tooltips.size(), IdWindowCount);
  for (const QString &tip : tooltips)
    QVERIFY2(tip.startsWith("Every window read zero or empty") && tip.endsWith("\n" + named), qPrintable(tip));
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

namespace {

void CompleteUploadColumns() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<Dialect>("monitor");
  QTest::addColumn<bool>("paced");
  QTest::addColumn<QString>("line");
  QTest::addColumn<sim::Faults>("controller");  // how it answers, beyond the defaults
}

}  // namespace

void UploadEndToEndTest::completeUpload_data() {
  CompleteUploadColumns();
  const sim::Faults plain;
  for (const TestDialect &d : TestDialects()) QTest::addRow("full, %s monitor", d.Name) << true << d.Sim << false << "even" << plain;
  QTest::newRow("parameter list only, no program file") << false << Dialect::E << false << "even" << plain;
  QTest::newRow("full, (E) monitor, 9600 baud line") << true << Dialect::E << true << "even" << plain;
  QTest::newRow("parameter list only, 9600 baud line") << false << Dialect::E << true << "even" << plain;
  QTest::newRow("full, a late \"*\" is no failure")
      << true << Dialect::E << false << "even" << With([](sim::Faults &f) { f.LateAckRecord = 4; });
}

// The same uploads at 9600 baud through a USB converter (its latency timer at
// 16 and 32 ms) and through a UART's FIFO: replies come in bursts.
// scripts/line-loop.sh runs each row many times.
void UploadEndToEndTest::completeUploadThroughEachLine_data() {
  CompleteUploadColumns();
  for (const char *line : {"usb:16", "usb:32", "fifo"}) {
    for (const TestDialect &d : TestDialects())
      QTest::addRow("%s, full, %s monitor", line, d.Name) << true << d.Sim << true << line << sim::Faults();
    QTest::addRow("%s, parameter list only", line) << false << Dialect::E << true << line << sim::Faults();
  }
}

void UploadEndToEndTest::completeUploadThroughEachLine() { completeUpload(); }

// A boot monitor that ends its "*" with CR LF, and one that echoes an erase at
// once and answers "Erased" 300 ms later, on every line.
void UploadEndToEndTest::completeUploadAgainstEachMonitorForm_data() {
  CompleteUploadColumns();
  for (const char *line : {"even", "usb:16", "usb:32", "fifo"}) {
    QTest::addRow("%s, \"*\" CR LF", line)
        << true << Dialect::E << true << line << With([](sim::Faults &f) { f.RecordAck = "*\r\n"; });
    QTest::addRow("%s, erases take 300 ms", line)
        << true << Dialect::E << true << line << With([](sim::Faults &f) { f.EraseWorkMs = 300; });
  }
}

void UploadEndToEndTest::completeUploadAgainstEachMonitorForm() { completeUpload(); }

void UploadEndToEndTest::completeUpload() {
  QFETCH(bool, full);
  QFETCH(Dialect, monitor);
  QFETCH(bool, paced);
  QFETCH(QString, line);
  QFETCH(sim::Faults, controller);
  sim::LineDelivery delivery;
  QVERIFY(sim::ParseDelivery(line, delivery));
  UploadRig rig(monitor, paced, delivery);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.Controller.SetFaults(controller);
  const QByteArray firmware = ProgramFile(20);
  const qint64 crc = 51966;
  // Enough bytes that every read-back exchange gets its chance to be split.
  const QList<Param> records{{2, 1500}, {4, -7}, {1, 9}, {2, -2}};
  const QByteArray list = ParameterList("&H0400", records + records + records + records, crc);
  Choose(rig, full, true, list, firmware);
  QVERIFY(full || rig.Window->ProgramFile().isEmpty());
  const auto identification = IdentificationOf(rig.Controller);
  const auto flashBefore = rig.Controller.Flash();
  BlankIdentificationOnPowerCycle(rig);

  rig.StartUpload();

  const QStringList expected =
      full ? QStringList{BridgePrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}
           : QStringList{PowerCyclePrompt, ParameterSuccess};
  QCOMPARE(rig.Hands->Messages, expected);
  QCOMPARE(rig.Hands->RestoreDialogsShown, 1);
  EXPECT_IDLE(rig);

  QString error;
  const auto written = ParameterByteMap(rig.Window->ParameterFile(), &error);
  QCOMPARE(int(written.size()), 36);
  const auto memory = rig.Controller.ParameterMemory();
  for (const auto &[address, byte] : written) QCOMPARE(int(memory.at(address)), int(byte));
  QVERIFY(rig.Controller.Flash() == (full ? FlashImageOf(firmware) : flashBefore));
  QCOMPARE(rig.Controller.LastCrc(), std::optional<quint32>(full ? 65535u : quint32(crc)));
  QVERIFY(IdentificationOf(rig.Controller) == identification);
  QVERIFY(rig.Controller.Locked());
  QCOMPARE(rig.BackupFile(), BackupFileOf(identification));

  // Each of its own letters once, no other dialect's.
  for (const TestDialect &d : TestDialects())
    for (const QByteArray &letter : d.Letters)
      QCOMPARE(MonitorCommandCount(rig.Controller, letter, 1),
               full && TestDialectOf(monitor).Letters.contains(letter) ? 1 : 0);
  QCOMPARE(SRecordsReceived(rig.Controller), full ? 22 : 0);
  // Only the parameter-only mode switches the running controller by a window write.
  QCOMPARE(WrittenWindows(rig.Controller).count(500), full ? 0 : 1);
}

// ---------------------------------------------------------------------------

// The loop's other cases run on the scripted host (test_upload_driver); here the
// real dialog shows that each showing starts again from the saved values.
void UploadEndToEndTest::restoreLoopReopensTheDialogAfresh() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, true, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  QString shownAgain;
  rig.Hands->OnRestoreDialog = [&](RestoreDialog &dialog) {
    if (rig.Hands->RestoreDialogsShown == 1) {
      rig.Controller.SetFaults(With([](sim::Faults &f) { f.ErrorWindow = 322; }));
      dialog.ValueBox(3)->setText("PMP-CORRECTED");
      return;
    }
    shownAgain = dialog.ValueBox(3)->text();
    rig.Controller.SetFaults({});
  };

  rig.StartUpload();

  QCOMPARE(rig.Hands->Messages, QStringList({PowerCyclePrompt, RepeatRestorePrompt, ParameterSuccess}));
  QCOMPARE(rig.Hands->RestoreDialogsShown, 2);
  // Reopened from the saved values: the correction has to be typed again.
  QCOMPARE(shownAgain, QString::fromLatin1(identification.at(320)));
  const QList<int> writes = WrittenWindows(rig.Controller);
  QCOMPARE(writes.count(322), 4);
  QCOMPARE(writes.last(), 501);
  QVERIFY(rig.Controller.Locked());
  QCOMPARE(rig.Controller.Window(320), identification.at(320));
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------

// A full upload cut short during the program transfer leaves a controller
// that answers only as a monitor, its identification windows erased. The
// next Start Upload offers to finish it, naming the numbers of its own
// backup, and on Yes finishes the job with that backup's values.
void UploadEndToEndTest::interruptedFullUploadIsFinished_data() {
  QTest::addColumn<Dialect>("monitor");
  QTest::addColumn<bool>("checkErrors");  // on the second run
  QTest::addColumn<bool>("accepted");
  QTest::newRow("(E) monitor, finished") << Dialect::E << true << true;
  QTest::newRow("Er monitor, Check Errors off, finished") << Dialect::Er << false << true;
  QTest::newRow("declined: nothing more is sent") << Dialect::E << true << false;
}

void UploadEndToEndTest::interruptedFullUploadIsFinished() {
  QFETCH(Dialect, monitor);
  QFETCH(bool, checkErrors);
  QFETCH(bool, accepted);
  UploadRig rig(monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  rig.Controller.SetFaults(With([](sim::Faults &f) { f.RefuseRecord = 5;
    f.RefuseRecordTimes = RecordAttempts; }));
  rig.StartUpload();
  const QString own = OwnBackupIn(rig.WorkDir.path());
  QVERIFY(!own.isEmpty());
  QCOMPARE(rig.Hands->LastMessage(), Interruption(rig.WorkDir.path(), "Programming Controller") +
                                         WayOnAfter(rig.WorkDir.path(), true, "Programming Controller"));
  const QByteArray firstBackup = rig.BackupFile();
  QCOMPARE(firstBackup, BackupFileOf(identification));
  // The technician removes the bridge and powers up: a monitor, no application.
  rig.Controller.SetFaults({});
  rig.Controller.SetBridge(false);
  rig.Controller.PowerCycle();
  QVERIFY(rig.Controller.CurrentMode() != sim::Mode::Application);
  QVERIFY(rig.Controller.Window(322).trimmed().isEmpty());

  if (!checkErrors) rig.TickCheckErrors();
  rig.Hands->AcceptsOffers = accepted;
  rig.Hands->Messages.clear();
  rig.StartUpload();

  const QString offer = rig.Hands->Messages.value(0);
  QVERIFY2(offer.contains("The identification values are those of " + own +
                          " (Controller P/N CU-4471-02, Controller S/N C23119876, Pump S/N P24051703): check them "
                          "against the pump's label."),
           qPrintable(offer));
  QCOMPARE(rig.BackupFile(), firstBackup);
  EXPECT_IDLE(rig);
  if (!accepted) {
    QVERIFY2(rig.Hands->LastMessage().startsWith(texts::ErrorDuring("saving parameters") + "\n"), qPrintable(rig.Hands->LastMessage()));
    QVERIFY2(rig.Hands->LastMessage().endsWith(FinishInWindow(own)), qPrintable(rig.Hands->LastMessage()));
    QCOMPARE(QDir(rig.WorkDir.path()).entryList({"tmpLogWin-*.txt"}).size(), 0);
    return;
  }
  QCOMPARE(rig.Hands->Messages.mid(1), QStringList({BridgePrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}));
  QCOMPARE(rig.Hands->RestoreDialogsShown, 1);
  // As after a clean full upload, with the controller's own values.
  QCOMPARE(IdentificationOf(rig.Controller), identification);
  QVERIFY(rig.Controller.Locked());
  QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::Application);
  const auto flash = rig.Controller.Flash();
  for (const auto &[address, byte] : FlashImageOf(ProgramFile(12))) QCOMPARE(int(flash.at(address)), int(byte));
  // Nothing is left to finish: the next start is a plain upload again.
  rig.Hands->Messages.clear();
  rig.StartUpload();
  QCOMPARE(rig.Hands->Messages, QStringList({BridgePrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}));
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::nothingActsWhileAnUploadRuns() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, true, SmallList());
  MainWindow &window = *rig.Window;
  auto *start = window.findChild<QPushButton *>("cmdStartDownload");
  auto *optAll = window.findChild<QRadioButton *>("optAll");
  bool tried = false, busyMeanwhile = false, closed = true, fileDialogAsked = false;
  QStringList foreignWindows;
  window.OpenFileDialog = [&](QWidget *, const QString &, const QString &) {
    fileDialogAsked = true;
    return QString("/elsewhere/other.txt");
  };
  // Acts while the upload waits for the controller and no message box is up,
  // so the clicks meet the main window itself, not a modal box in front.
  QTimer meddler;
  QObject::connect(&meddler, &QTimer::timeout, [&] {
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && !qobject_cast<QMessageBox *>(modal) && !qobject_cast<RestoreDialog *>(modal)) {
      foreignWindows << modal->metaObject()->className();
      modal->close();
      return;
    }
    if (tried || modal || !window.Busy()) return;
    tried = true;
    busyMeanwhile = window.Busy();
    QTest::mouseClick(start, Qt::LeftButton);
    start->click();
    QTest::mouseClick(optAll, Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>("cmdParameterPath"), Qt::LeftButton);
    window.findChild<QPushButton *>("cmdParameterPath")->click();
    for (const char *item : {"mnuCheckError", "mnuChooseSerialPort", "mnuVersion"})
      window.findChild<QAction *>(item)->trigger();
    closed = window.close();
  });
  meddler.start(0);
  // And from a message box the upload shows, where the handlers alone must hold.
  bool busyAtPrompt = false, closedAtPrompt = true;
  rig.Hands->OnMessage = [&](const QString &text) {
    if (text != PowerCyclePrompt) return;
    busyAtPrompt = window.Busy();
    start->click();
    window.findChild<QPushButton *>("cmdParameterPath")->click();
    for (const char *item : {"mnuCheckError", "mnuChooseSerialPort", "mnuVersion"})
      window.findChild<QAction *>(item)->trigger();
    closedAtPrompt = window.close();
  };

  rig.StartUpload();
  meddler.stop();

  QVERIFY(tried);
  QVERIFY(busyMeanwhile);
  QVERIFY(busyAtPrompt);
  QVERIFY(!closed);
  QVERIFY(!closedAtPrompt);
  QVERIFY(window.isVisible());
  QVERIFY(!fileDialogAsked);
  QVERIFY2(foreignWindows.isEmpty(), qPrintable(foreignWindows.join(", ")));
  QVERIFY(!optAll->isChecked());
  QVERIFY(window.UploadMode() == UploadKind::ParameterList);
  QVERIFY(window.CheckErrors());
  QCOMPARE(window.ParameterFile(), rig.WorkDir.filePath("list.txt"));
  // One upload, not two nested ones.
  QCOMPARE(rig.Hands->Messages, QStringList({PowerCyclePrompt, ParameterSuccess}));
  QCOMPARE(ReadsOf(rig.Controller, 310), 1);
  EXPECT_IDLE(rig);
  // Afterwards the window takes its orders again.
  window.findChild<QAction *>("mnuCheckError")->trigger();
  QVERIFY(!window.CheckErrors());
}

// SIGTERM (a logoff, a shutdown) during the program transfer: the window
// program stops after the record on the line, closes the port, writes the
// journal line, shows no box that would wait for an OK, and then ends.
void UploadEndToEndTest::signalStopsTheUploadAtASafePoint() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  const QString trace = rig.WorkDir.filePath("wire.trace");
  rig.Window->Port().SetTraceFile(trace);
  EndSessionOnSignals(*rig.Window);
  bool ended = false;
  rig.Window->OnSessionEnded = [&] { ended = true; };
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (SRecordsReceived(rig.Controller) < 3) return;
    watch.stop();
    ::raise(SIGTERM);
  });
  watch.start(0);

  rig.StartUpload();

  QTRY_VERIFY(ended);
  QCOMPARE(rig.Hands->Messages, QStringList{BridgePrompt});
  // The last record went out whole, and nothing after it.
  const QList<QByteArray> records = ProgramFile(12).split('\n');
  QVERIFY(records.contains(rig.Controller.MonitorCommands().last() + "\r"));
  QFile journal(rig.WorkDir.filePath("calvenori-uploads.csv"));
  QVERIFY(journal.open(QIODevice::ReadOnly));
  const JournalContent content = ReadJournal(journal.readAll());
  QCOMPARE(content.Lines.size(), 1);
  const JournalEntry line = JournalEntryOf(content.Header, content.Lines[0]);
  QCOMPARE(line.Outcome, QStringLiteral("cut short by SIGTERM at \"Sending Program File\""));
  QCOMPARE(line.LastStage, QStringLiteral("WriteBackup"));
  QVERIFY(!QFileInfo::exists(rig.WorkDir.filePath("tmpLogWin.txt.lock")));
  QFile traced(trace);
  QVERIFY(traced.open(QIODevice::ReadOnly));
  QVERIFY(traced.readAll().trimmed().endsWith(" closed"));
  EXPECT_IDLE(rig);
}

// A port whose open blocks (a Bluetooth port looking for its device) is
// given up on after the limit, the window handling its events meanwhile.
void UploadEndToEndTest::portThatDoesNotOpenInTimeFreezesNothing() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, true, SmallList());
  auto stuck = std::make_shared<QSemaphore>();
  rig.Window->OpenOffThread = [stuck](const QString &) {
    stuck->acquire();
    return OpenFault::None;
  };
  rig.Window->PortOpenLimitMs = 300;
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(10);

  rig.StartUpload();
  stuck->release();

  QCOMPARE(rig.Hands->Messages, QStringList{"Serial port 1 could not be opened (" + rig.Controller.SlavePath() +
                                            "): it did not open within 0.3 s\nThe upload has not been started."});
  QVERIFY(ticks > 0);
  QCOMPARE(rig.Controller.Received(), QByteArray());
  EXPECT_IDLE(rig);
}

// A line that loses or spoils 1 byte in 100 either way: every exchange that
// is safe to ask again is, and the upload ends with exactly what a clean one
// leaves, saying what the line cost. A program hit through the checksum's
// blind spot (its type digit) is the one thing the monitor cannot report.
void UploadEndToEndTest::noisyLineUploadCompletes_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("lettersAreCommands");  // the other model of the monitor in programming mode
  QTest::addColumn<quint32>("seed");
  QTest::newRow("full") << true << false << 11u;
  QTest::newRow("full, letters in programming mode are commands") << true << true << 12u;
  QTest::newRow("parameter list") << false << false << 13u;
}

void UploadEndToEndTest::noisyLineUploadCompletes() {
  QFETCH(bool, full);
  QFETCH(bool, lettersAreCommands);
  QFETCH(quint32, seed);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  const QByteArray firmware = ProgramFile(20);
  const qint64 crc = 51966;
  const QList<Param> records{{2, 1500}, {4, -7}, {1, 9}, {2, -2}};
  Choose(rig, full, true, ParameterList("&H0400", records + records, crc), firmware);
  const auto identification = IdentificationOf(rig.Controller);
  BlankIdentificationOnPowerCycle(rig);
  rig.Controller.SetFaults(With([&](sim::Faults &f) { f.LettersInProgramming = lettersAreCommands; }));
  rig.Controller.SetNoise({0.01, seed});

  rig.StartUpload();

  const QString said = rig.Hands->LastMessage();
  QVERIFY2(said.startsWith(full ? FullSuccess : ParameterSuccess), qPrintable(said));
  QVERIFY(!rig.Controller.NoiseEvents().isEmpty());
  QString error;
  const auto memory = rig.Controller.ParameterMemory();
  for (const auto &[address, byte] : ParameterByteMap(rig.Window->ParameterFile(), &error))
    QCOMPARE(int(memory.at(address)), int(byte));
  QCOMPARE(rig.Controller.LastCrc(), std::optional<quint32>(full ? 65535u : quint32(crc)));
  QVERIFY(IdentificationOf(rig.Controller) == identification);
  QVERIFY(rig.Controller.Locked());
  if (full && rig.Controller.BlindSpotHits() == 0) QVERIFY(rig.Controller.Flash() == FlashImageOf(firmware));

  QFile journal(rig.WorkDir.filePath("calvenori-uploads.csv"));
  QVERIFY(journal.open(QIODevice::ReadOnly));
  const JournalContent content = ReadJournal(journal.readAll());
  const JournalEntry line = JournalEntryOf(content.Header, content.Lines.last());
  QVERIFY(line.ExchangesRepeated > 0);
  QVERIFY2(said.contains("\n" + texts::Repeated(line.ExchangesRepeated)), qPrintable(said));
  QCOMPARE(said.contains(texts::RecordsResent(line.RecordsSentAgain)), line.RecordsSentAgain > 0);
  QCOMPARE(said.contains(texts::NoisyLine), line.RecordsSentAgain == 0);
  EXPECT_IDLE(rig);
}

// The window waits for a pulled adapter in its status frame, counting down,
// and Give Up ends the upload with the way on.
void UploadEndToEndTest::pulledAdapterIsWaitedForInTheStatusFrame() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  QTemporaryDir links;
  const QString link = links.filePath("pump");
  QVERIFY2(rig.Controller.SetLink(link, &rig.StartError), qPrintable(rig.StartError));
  qputenv("CALVENORI_PORTS", link.toLocal8Bit());
  rig.Window->SetPortWaitSeconds(60);
  Choose(rig, false, true, SmallList());
  // Nine window reads, window 500, the monitor probes and the CRC, then a byte or two.
  QVERIFY(rig.Controller.UnplugAfterBytesReceived(9 * 9 + 10 + 1 + 2 + (1 + 6) + 8 + 4, 5000));
  auto *giveUp = rig.Window->findChild<QPushButton *>("cmdGiveUp");
  auto *caption = rig.Window->findChild<QLabel *>("lblStepDescription");
  QVERIFY(giveUp && caption && giveUp->isHidden());
  QString waiting;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!giveUp->isVisible()) return;
    watch.stop();
    waiting = caption->text();
    QTest::mouseClick(giveUp, Qt::LeftButton);
  });
  watch.start(0);

  rig.StartUpload();

  QVERIFY2(waiting.startsWith("Port lost: waiting for it to come back, "), qPrintable(waiting));
  const QString said = rig.Hands->LastMessage();
  QVERIFY2(said.contains(" was lost.\nThe wait for it was given up.\n"), qPrintable(said));
  QVERIFY(giveUp->isHidden());
  QTRY_VERIFY(rig.Controller.Plugged());
  EXPECT_IDLE(rig);
}

QTEST_MAIN(UploadEndToEndTest)
#include "test_upload_e2e.moc"
