// Complete uploads through the main window, as a technician runs them: the
// real window and port, the simulated controller on a pseudo-terminal, and a
// technician who reads every message box and does what it asks.
#include "KeptBackups.h"
#include "ParameterList.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "UploadRig.h"
#include "frmUpdateWin.h"
#include "mdlGlobal.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QtTest>

#include <functional>

using namespace expect;
using sim::Dialect;

namespace {

// Few bytes: every parameter exchange that fails costs a 0.5 s wait.
QByteArray SmallList(qint64 crc = 4660) { return ParameterList("&H0400", {{2, 1500}, {1, 200}}, crc); }
constexpr int SmallListBytes = 3;

// The technician's choices; the program file only matters in the full mode.
void Choose(UploadRig &rig, bool full, bool checkErrors, const QByteArray &list, const QByteArray &program = {}) {
  if (full) {
    rig.ChooseFullMode();
    rig.ChooseProgramFile(rig.Write("fw.s19", program.isEmpty() ? ProgramFile(12) : program));
  }
  rig.ChooseParameterList(rig.Write("list.txt", list));
  if (checkErrors) rig.TickCheckErrors();
}

// New firmware comes up with its identification blank: only the restore
// dialog can bring the saved values back.
void BlankIdentificationOnPowerCycle(UploadRig &rig) {
  rig.Hands->OnMessage = [&rig](const QString &text) {
    if (text != PowerCyclePrompt) return;
    for (int w : IdentificationWindowNumbers()) rig.Controller.SetWindow(w, w <= 311 ? "0" : "BLANK");
  };
}

// Cuts the controller's power once it has taken `records` S-records, as a
// power failure halfway through programming would.
void PowerFailsAfterRecords(UploadRig &rig, int records) {
  auto *timer = new QTimer(rig.Window.get());
  QObject::connect(timer, &QTimer::timeout, timer, [&c = rig.Controller, timer, records] {
    if (c.WithModel([](const sim::ControllerModel &m) { return m.RecordsReceived(); }) < records) return;
    c.PowerOff();
    timer->stop();
  });
  timer->start(0);
}

int SRecordsReceived(const sim::SimulatedController &c) { return MonitorCommandCount(c, "S"); }

#define EXPECT_IDLE(rig)                                  \
  do {                                                    \
    QVERIFY(!(rig).Window->Port().IsOpen());              \
    QCOMPARE((rig).Window->OuterHeightTwips(), 3450);     \
    QVERIFY(!(rig).Window->Busy());                       \
  } while (0)

// A fault, what it leads to, and what must or must not have reached the controller.
struct Fault {
  bool Full = false;
  Dialect Monitor = Dialect::E;
  std::function<void(UploadRig &)> Arm;
  QString Step;           // the interruption it causes while Check Errors is on
  int Ignored = 0;        // the failures let pass while it is off; -1: not tried off
  QStringList Prompts;    // shown before the interruption
  std::function<void(UploadRig &)> Verify;
  QString Detail;         // the interruption message's line after the standard ones
};

sim::Faults With(std::function<void(sim::Faults &)> set) {
  sim::Faults f;
  set(f);
  return f;
}

std::function<void(UploadRig &)> Inject(sim::Faults faults) {
  return [faults](UploadRig &rig) { rig.Controller.SetFaults(faults); };
}

}  // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Dialect)

class UploadEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void completeUpload_data();
  void completeUpload();
  void completeUploadThroughEachLine_data();
  void completeUploadThroughEachLine();
  void testPointInterrupts_data();
  void testPointInterrupts();
  void failuresLetPassWithCheckErrorsOff_data();
  void failuresLetPassWithCheckErrorsOff();
  void restoreLoop_data();
  void restoreLoop();
  void bridgePromptRepeatsUntilTheMonitorAnswers_data();
  void bridgePromptRepeatsUntilTheMonitorAnswers();
  void bridgeRemovalPromptRepeatsOnlyForTheEMonitor_data();
  void bridgeRemovalPromptRepeatsOnlyForTheEMonitor();
  void emptyChoicesAreRefused_data();
  void emptyChoicesAreRefused();
  void badFileIsRefusedBeforeAnyByteIsSent_data();
  void badFileIsRefusedBeforeAnyByteIsSent();
  void portThatCannotBeOpened_data();
  void portThatCannotBeOpened();
  void unpluggedAdapterEndsTheUpload_data();
  void unpluggedAdapterEndsTheUpload();
  void unwritableBackupStopsBeforeTheControllerIsTouched_data();
  void unwritableBackupStopsBeforeTheControllerIsTouched();
  void backupOfAControllerWithoutProgramKeepsTheEarlierOne();
  void nothingActsWhileAnUploadRuns();
};

// ---------------------------------------------------------------------------

void UploadEndToEndTest::completeUpload_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<Dialect>("monitor");
  QTest::addColumn<bool>("paced");
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("lateAckRecord");  // -1: every "*" in time
  QTest::newRow("full, (E) monitor") << true << Dialect::E << false << "even" << -1;
  QTest::newRow("full, Er monitor") << true << Dialect::Er << false << "even" << -1;
  QTest::newRow("parameter list only, no program file") << false << Dialect::E << false << "even" << -1;
  QTest::newRow("full, (E) monitor, 9600 baud line") << true << Dialect::E << true << "even" << -1;
  QTest::newRow("parameter list only, 9600 baud line") << false << Dialect::E << true << "even" << -1;
  QTest::newRow("full, a late \"*\" is no failure") << true << Dialect::E << false << "even" << 4;
}

// The same uploads at 9600 baud through a USB converter (its latency timer at
// 16 and 32 ms) and through a UART's FIFO: replies come in bursts.
// scripts/line-loop.sh runs each row many times.
void UploadEndToEndTest::completeUploadThroughEachLine_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<Dialect>("monitor");
  QTest::addColumn<bool>("paced");
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("lateAckRecord");
  for (const char *line : {"usb:16", "usb:32", "fifo"}) {
    QTest::addRow("%s, full, (E) monitor", line) << true << Dialect::E << true << line << -1;
    QTest::addRow("%s, full, Er monitor", line) << true << Dialect::Er << true << line << -1;
    QTest::addRow("%s, parameter list only", line) << false << Dialect::E << true << line << -1;
  }
}

void UploadEndToEndTest::completeUploadThroughEachLine() { completeUpload(); }

void UploadEndToEndTest::completeUpload() {
  QFETCH(bool, full);
  QFETCH(Dialect, monitor);
  QFETCH(bool, paced);
  QFETCH(QString, line);
  QFETCH(int, lateAckRecord);
  sim::LineDelivery delivery;
  QVERIFY(sim::ParseDelivery(line, delivery));
  UploadRig rig(monitor, paced, delivery);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  rig.Controller.SetFaults(With([=](sim::Faults &f) { f.LateAckRecord = lateAckRecord; }));
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
  QCOMPARE(ErrorFlag, qint16(0));

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

  const bool e = monitor == Dialect::E;
  for (const char *letter : {"E", "C", "P"}) QCOMPARE(MonitorCommandCount(rig.Controller, letter, 1), full && e ? 1 : 0);
  for (const char *letter : {"a", "d", "b"}) QCOMPARE(MonitorCommandCount(rig.Controller, letter, 1), full && !e ? 1 : 0);
  QCOMPARE(SRecordsReceived(rig.Controller), full ? 22 : 0);
  QCOMPARE(FailureCount, 0);
  // Only the parameter-only mode switches the running controller by a window write.
  QCOMPARE(WrittenWindows(rig.Controller).count(500), full ? 0 : 1);
}

// ---------------------------------------------------------------------------

namespace {

// The prompts of a complete upload, before its success message.
QStringList NormalPrompts(bool full) {
  return full ? QStringList{BridgePrompt, BridgeRemovalPrompt, PowerCyclePrompt} : QStringList{PowerCyclePrompt};
}

// One fault for each test point. Verify looks at the controller afterwards,
// with Check Errors on (interrupted) or off (run to the end).
QList<QPair<const char *, Fault>> TestPointFaults() {
  QList<QPair<const char *, Fault>> rows;
  const auto readFails = Inject(With([](sim::Faults &f) { f.FailReadOfWindow = 322; }));
  rows << qMakePair("saving parameters, parameter list only",
                    Fault{false, Dialect::E, readFails, "saving parameters", 1, {}, [](UploadRig &rig) {
                            if (rig.Window->CheckErrors()) {
                              QVERIFY(WrittenWindows(rig.Controller).isEmpty());
                              QVERIFY(rig.Controller.MonitorCommands().isEmpty());
                              QCOMPARE(ReadsOf(rig.Controller, 323), 0);  // the backup stopped at the failure
                              QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
                              return;
                            }
                            // The failure text is kept as the backup's record of it, but
                            // never written to the controller as the pump's serial number.
                            QVERIFY(rig.BackupFile().contains("Pump S/N (Win 322)\t\t#TIMEOUT#\r\n"));
                            QVERIFY(!WrittenWindows(rig.Controller).contains(322));
                            QCOMPARE(WrittenWindows(rig.Controller).count(323), 1);
                            QCOMPARE(rig.Controller.Window(322), sim::FactoryWindows().at(322));
                            QVERIFY(rig.Controller.Locked());
                          }});
  rows << qMakePair("saving parameters, full",
                    Fault{true, Dialect::E, readFails, "saving parameters", -1, {}, [](UploadRig &rig) {
                            QVERIFY(rig.Controller.MonitorCommands().isEmpty());
                            QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
                          }});

  // Let pass, every later exchange goes to the application and fails too: the
  // monitor check, the CRC, 3 writes and 3 reads, 9 identification writes, the lock.
  rows << qMakePair("setting in monitor mode: window 500 refused",
                    Fault{false, Dialect::E, Inject(With([](sim::Faults &f) { f.RejectAllWrites = true; })),
                          "setting in monitor mode", 18, {}, [](UploadRig &rig) {
                            // The controller never left its application.
                            QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::Application);
                            QVERIFY(!rig.Controller.LastCrc());
                            QCOMPARE(WrittenWindows(rig.Controller).mid(0, 3), QList<int>({500, 500, 500}));
                            QCOMPARE(rig.Controller.ParameterMemory().count(0x0400), size_t(0));
                            if (rig.Window->CheckErrors()) QCOMPARE(WrittenWindows(rig.Controller).size(), 3);
                          }});

  // Let pass: both erases, and then, the parameter set never having been
  // erased, the controller restarts into its application, which takes
  // neither the CRC nor the 3 writes and 3 reads.
  rows << qMakePair(
      "Programming Controller: (E) monitor does not confirm the erase",
      Fault{true, Dialect::E, Inject(With([](sim::Faults &f) { f.EraseNotErased = true; })), "Programming Controller",
            9, {BridgePrompt}, [](UploadRig &rig) {
              const bool on = rig.Window->CheckErrors();
              QCOMPARE(MonitorCommandCount(rig.Controller, "E", 1), 1);
              QCOMPARE(MonitorCommandCount(rig.Controller, "C", 1), on ? 0 : 1);
              QCOMPARE(MonitorCommandCount(rig.Controller, "P", 1), on ? 0 : 1);
              QCOMPARE(SRecordsReceived(rig.Controller), on ? 0 : 14);
              if (on) return;
              // Nothing was erased; the new records were still written over the old program.
              const auto flash = rig.Controller.Flash();
              for (const auto &[address, byte] : FlashImageOf(ProgramFile(12))) QCOMPARE(int(flash.at(address)), int(byte));
            }});

  // A "?" to a record: the firmware has a hole. Let pass, it is counted and
  // never sent again; the rest of the file follows.
  rows << qMakePair("Programming Controller: the monitor refuses a record",
                    Fault{true, Dialect::E, Inject(With([](sim::Faults &f) { f.RefuseRecord = 3; })),
                          "Programming Controller", 1, {BridgePrompt}, [](UploadRig &rig) {
                            const QByteArray refused = ProgramFile(12).split('\n')[3].trimmed();
                            const QList<QByteArray> commands = rig.Controller.MonitorCommands();
                            QCOMPARE(commands.count(refused), 1);
                            if (rig.Window->CheckErrors()) {
                              QCOMPARE(commands.last(), refused);  // nothing after it
                              return;
                            }
                            QCOMPARE(SRecordsReceived(rig.Controller), 14);
                            QVERIFY(rig.Controller.Locked());
                          }});

  rows << qMakePair("Programming Controller: power fails halfway through the records",
                    Fault{true, Dialect::Er, [](UploadRig &rig) { PowerFailsAfterRecords(rig, 5); },
                          "Programming Controller", -1, {BridgePrompt}, [](UploadRig &rig) {
                            QVERIFY(SRecordsReceived(rig.Controller) >= 5);
                            QVERIFY(SRecordsReceived(rig.Controller) < 14);
                            QVERIFY(!rig.Controller.LastCrc());
                          }});

  const auto crcFails = Inject(With([](sim::Faults &f) { f.CrcReplyCrLf = true; }));
  const auto crcRecorded = [](UploadRig &rig) {
    QVERIFY(rig.Controller.LastCrc());
    QCOMPARE(MonitorCommandCount(rig.Controller, "E", 8), rig.Window->CheckErrors() ? 0 : SmallListBytes);
  };
  rows << qMakePair("CRC verifyng, full", Fault{true, Dialect::E, crcFails, "CRC verifyng", 1,
                                                {BridgePrompt, BridgeRemovalPrompt}, crcRecorded});
  rows << qMakePair("CRC verifyng, parameter list only",
                    Fault{false, Dialect::E, crcFails, "CRC verifyng", 1, {}, crcRecorded});

  rows << qMakePair(
      "file parameters writing: writes answered CR LF",
      Fault{false, Dialect::E, Inject(With([](sim::Faults &f) { f.ParamWriteCrLf = true; })), "file parameters writing",
            SmallListBytes, {}, [](UploadRig &rig) {
              // With Check Errors on the transfer stops at the first wrong answer;
              // the read-back still runs and stops at the first byte never sent.
              const bool on = rig.Window->CheckErrors();
              QCOMPARE(MonitorCommandCount(rig.Controller, "E", 8), on ? 1 : SmallListBytes);
              QCOMPARE(MonitorCommandCount(rig.Controller, "R", 6), on ? 2 : SmallListBytes);
            }});
  rows << qMakePair(
      "file parameters writing: a byte reads back wrong",
      Fault{false, Dialect::E, Inject(With([](sim::Faults &f) {
              f.WrongReadAddress = 0x0401;
              f.ReadBack = sim::ReadBackForm::Echo;
            })),
            "file parameters writing", 1, {}, [](UploadRig &rig) {
              QCOMPARE(MonitorCommandCount(rig.Controller, "E", 8), SmallListBytes);
              QCOMPARE(MonitorCommandCount(rig.Controller, "R", 6), rig.Window->CheckErrors() ? 2 : SmallListBytes);
            }, "Address 0401: wrote DC, read back 23."});

  rows << qMakePair("Locking controller: window 501 disabled",
                    Fault{false, Dialect::E, Inject(With([](sim::Faults &f) { f.ErrorWindow = 501; })),
                          "Locking controller", 1, {PowerCyclePrompt}, [](UploadRig &rig) {
                            QVERIFY(!rig.Controller.Locked());
                            QCOMPARE(WrittenWindows(rig.Controller).count(501), 3);
                            QCOMPARE(rig.Hands->RestoreDialogsShown, 1);
                          }});
  return rows;
}

}  // namespace

void UploadEndToEndTest::testPointInterrupts_data() {
  QTest::addColumn<Fault>("fault");
  for (const auto &[name, fault] : TestPointFaults()) QTest::newRow(name) << fault;
}

void UploadEndToEndTest::testPointInterrupts() {
  QFETCH(Fault, fault);
  UploadRig rig(fault.Monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, fault.Full, true, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  fault.Arm(rig);

  rig.StartUpload();

  const QString detail = fault.Detail.isEmpty() ? QString() : "\n" + fault.Detail;
  QCOMPARE(rig.Hands->Messages, fault.Prompts + QStringList{Interruption(rig, fault.Step) + detail});
  EXPECT_IDLE(rig);
  QCOMPARE(ErrorFlag, qint16(0));
  if (fault.Step != "saving parameters") QCOMPARE(rig.BackupFile(), BackupFileOf(identification));
  fault.Verify(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::failuresLetPassWithCheckErrorsOff_data() {
  QTest::addColumn<Fault>("fault");
  for (const auto &[name, fault] : TestPointFaults())
    if (fault.Ignored >= 0) QTest::newRow(name) << fault;
}

void UploadEndToEndTest::failuresLetPassWithCheckErrorsOff() {
  QFETCH(Fault, fault);
  UploadRig rig(fault.Monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, fault.Full, false, SmallList());
  fault.Arm(rig);

  rig.StartUpload();

  QCOMPARE(rig.Hands->Messages,
           NormalPrompts(fault.Full) + QStringList{Success(fault.Full ? FullSuccess : ParameterSuccess, fault.Ignored)});
  QCOMPARE(rig.Hands->RestoreDialogsShown, 1);
  EXPECT_IDLE(rig);
  fault.Verify(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::restoreLoop_data() {
  QTest::addColumn<bool>("checkErrors");
  QTest::addColumn<bool>("sendAgain");  // on the second showing; cancel otherwise
  QTest::newRow("Check Errors on, the second showing cancelled") << true << false;
  QTest::newRow("Check Errors on, the second send succeeds") << true << true;
  QTest::newRow("Check Errors off: the lock follows at once") << false << false;
}

void UploadEndToEndTest::restoreLoop() {
  QFETCH(bool, checkErrors);
  QFETCH(bool, sendAgain);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, checkErrors, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  QString shownAgain;
  rig.Hands->OnRestoreDialog = [&](frmUpdateWin &dialog) {
    if (rig.Hands->RestoreDialogsShown == 1) {
      rig.Controller.SetFaults(With([](sim::Faults &f) { f.ErrorWindow = 322; }));
      dialog.txtWin[3]->setText("PMP-CORRECTED");
      return;
    }
    shownAgain = dialog.txtWin[3]->text();
    rig.Controller.SetFaults({});
    rig.Hands->SendRestore = sendAgain;
  };

  rig.StartUpload();

  if (checkErrors) {
    QCOMPARE(rig.Hands->Messages, QStringList({PowerCyclePrompt, RepeatRestorePrompt, ParameterSuccess}));
    QCOMPARE(rig.Hands->RestoreDialogsShown, 2);
    // Reopened from the saved values: the correction has to be typed again.
    QCOMPARE(shownAgain, QString::fromLatin1(identification.at(320)));
  } else {
    QCOMPARE(rig.Hands->Messages, QStringList({PowerCyclePrompt, Success(ParameterSuccess, 1)}));
    QCOMPARE(rig.Hands->RestoreDialogsShown, 1);
  }
  const QList<int> writes = WrittenWindows(rig.Controller);
  QCOMPARE(writes.count(322), sendAgain ? 4 : 3);
  QCOMPARE(writes.count(310), sendAgain ? 2 : 1);
  QCOMPARE(writes.last(), 501);
  QCOMPARE(writes.count(501), 1);
  QVERIFY(rig.Controller.Locked());
  QCOMPARE(rig.Controller.Window(320), sendAgain ? identification.at(320) : QByteArray("PMP-CORRECTED"));
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::bridgePromptRepeatsUntilTheMonitorAnswers_data() {
  QTest::addColumn<int>("promptLength");  // of the monitor until the technician gets it right
  QTest::newRow("controller left running its application") << 12;
  QTest::newRow("monitor prompt too short to carry its tag") << 7;
}

void UploadEndToEndTest::bridgePromptRepeatsUntilTheMonitorAnswers() {
  QFETCH(int, promptLength);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  const QByteArray firmware = ProgramFile(12);
  Choose(rig, true, true, SmallList(), firmware);
  rig.Controller.SetPromptLength(promptLength);
  rig.Hands->FollowsPrompts = false;
  int bridgePrompts = 0;
  rig.Hands->OnMessage = [&](const QString &text) {
    if (text == BridgePrompt) {
      ++bridgePrompts;
      // First two times: not done (12) or done but the monitor's prompt lacks its tag (7).
      if (bridgePrompts < 3 && promptLength == 12) return;
      if (bridgePrompts == 3) rig.Controller.SetPromptLength(12);
    }
    Technician::FollowPrompt(rig.Controller, text);
  };

  rig.StartUpload();

  QCOMPARE(bridgePrompts, 3);
  QCOMPARE(rig.Hands->Messages,
           QStringList({BridgePrompt, BridgePrompt, BridgePrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}));
  QVERIFY(rig.Controller.Flash() == FlashImageOf(firmware));
  EXPECT_IDLE(rig);
}

void UploadEndToEndTest::bridgeRemovalPromptRepeatsOnlyForTheEMonitor_data() {
  QTest::addColumn<Dialect>("monitor");
  QTest::newRow("(E): asked again while the bridge is in") << Dialect::E;
  QTest::newRow("Er: asked once, whatever the monitor answers") << Dialect::Er;
}

void UploadEndToEndTest::bridgeRemovalPromptRepeatsOnlyForTheEMonitor() {
  QFETCH(Dialect, monitor);
  UploadRig rig(monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  rig.Hands->FollowsPrompts = false;
  int removalPrompts = 0;
  rig.Hands->OnMessage = [&](const QString &text) {
    // The first time the technician forgets to remove the bridge.
    if (text == BridgeRemovalPrompt && ++removalPrompts == 1) return;
    Technician::FollowPrompt(rig.Controller, text);
  };

  rig.StartUpload();

  if (monitor == Dialect::E) {
    QCOMPARE(rig.Hands->Messages,
             QStringList({BridgePrompt, BridgeRemovalPrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}));
  } else {
    // The boot monitor is still there and cannot take the CRC.
    QCOMPARE(rig.Hands->Messages, QStringList({BridgePrompt, BridgeRemovalPrompt, Interruption(rig, "CRC verifyng")}));
    QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::BootMonitor);
  }
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::emptyChoicesAreRefused_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("list");
  QTest::addColumn<bool>("program");
  QTest::addColumn<QString>("message");
  QTest::newRow("full, nothing chosen") << true << false << false << "Select a valid parameter list!";
  QTest::newRow("full, no parameter list") << true << false << true << "Select a valid parameter list!";
  QTest::newRow("full, no program file") << true << true << false << "Select a valid program file!";
  QTest::newRow("parameter list only, nothing chosen") << false << false << true << "Select a valid parameter list!";
}

void UploadEndToEndTest::emptyChoicesAreRefused() {
  QFETCH(bool, full);
  QFETCH(bool, list);
  QFETCH(bool, program);
  QFETCH(QString, message);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  if (full) rig.ChooseFullMode();
  if (list) rig.ChooseParameterList(rig.Write("list.txt", SmallList()));
  if (program) rig.ChooseProgramFile(rig.Write("fw.s19", ProgramFile(12)));
  rig.TickCheckErrors();

  rig.StartUpload();

  QCOMPARE(rig.Hands->Messages, QStringList{message});
  QVERIFY(rig.Controller.Received().isEmpty());
  QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
  EXPECT_IDLE(rig);
}

void UploadEndToEndTest::badFileIsRefusedBeforeAnyByteIsSent_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<QByteArray>("list");
  QTest::addColumn<QByteArray>("program");
  QTest::addColumn<QString>("refused");  // the file named in the message
  QTest::addColumn<QString>("fault");    // how the message goes on
  QList<QByteArray> lines = ProgramFile(12).split('\n');
  QByteArray &sixth = lines[5];  // "S1...CS\r": one digit of its checksum changed
  const int digit = sixth.size() - 2;
  sixth[digit] = sixth[digit] == '0' ? '1' : '0';
  QTest::newRow("program file with a wrong checksum on line 6")
      << true << SmallList() << lines.join('\n') << "fw.s19" << ", line 6: the checksum is ";
  QTest::newRow("parameter list whose value is text, line 5")
      << false << QByteArray("&H0400,Pump list,P-77\r\nRelease,V3\r\nCRC,4660\r\n2,Speed,1500\r\n1,Mode,fast\r\n")
      << QByteArray() << "list.txt" << ", line 5: the value \"fast\" of the 1-byte parameter";
}

void UploadEndToEndTest::badFileIsRefusedBeforeAnyByteIsSent() {
  QFETCH(bool, full);
  QFETCH(QByteArray, list);
  QFETCH(QByteArray, program);
  QFETCH(QString, refused);
  QFETCH(QString, fault);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, true, list, program);
  bool portOpenWhenShown = true;
  int heightWhenShown = 0;
  rig.Hands->OnMessage = [&](const QString &) {
    portOpenWhenShown = rig.Window->Port().IsOpen();
    heightWhenShown = rig.Window->OuterHeightTwips();
  };

  rig.StartUpload();

  QCOMPARE(rig.Hands->Messages.size(), 1);
  const QString path = rig.WorkDir.filePath(refused);
  QVERIFY2(rig.Hands->LastMessage().contains(path + fault), qPrintable(rig.Hands->LastMessage()));
  QVERIFY(!portOpenWhenShown);
  QCOMPARE(heightWhenShown, 3450);
  QVERIFY(rig.Controller.Received().isEmpty());
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::portThatCannotBeOpened_data() {
  QTest::addColumn<bool>("held");
  QTest::newRow("no such device") << false;
  QTest::newRow("held by another program") << true;
}

void UploadEndToEndTest::portThatCannotBeOpened() {
  QFETCH(bool, held);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  const QString device = held ? rig.Controller.SlavePath() : QStringLiteral("/nonexistent/ttyX");
  QSerialPort other(device);
  if (held) QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
  else qputenv("CALVENORI_PORTS", device.toLocal8Bit());
  int heightWhenShown = 0;
  rig.Hands->OnMessage = [&](const QString &) { heightWhenShown = rig.Window->OuterHeightTwips(); };

  rig.StartUpload();

  QCOMPARE(rig.Hands->Messages.size(), 1);
  const QString text = rig.Hands->LastMessage();
  const QString named = "Serial port 1 could not be opened (" + device + "): ";
  QVERIFY2(text.startsWith(named), qPrintable(text));
  const QString reason = text.mid(named.size()).section('\n', 0, 0);
  QVERIFY2(!reason.trimmed().isEmpty(), qPrintable(text));
  QVERIFY(text.contains("The upload has not been started."));
  QCOMPARE(heightWhenShown, 3450);
  QVERIFY(rig.Controller.Received().isEmpty());
  QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::unpluggedAdapterEndsTheUpload_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<QString>("when");
  QTest::addColumn<QStringList>("prompts");  // shown before the line went
  QTest::newRow("during the identification backup") << false << "backup" << QStringList();
  QTest::newRow("halfway through the program file") << true << "records" << QStringList{BridgePrompt};
  QTest::newRow("while the controller restarts") << false << "power cycle" << QStringList{PowerCyclePrompt};
}

void UploadEndToEndTest::unpluggedAdapterEndsTheUpload() {
  QFETCH(bool, full);
  QFETCH(QString, when);
  QFETCH(QStringList, prompts);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, true, SmallList());
  const QString device = rig.Controller.SlavePath();
  if (when == "backup") rig.Controller.SetFaults(With([](sim::Faults &f) { f.HangUpAfterBytesReceived = 30; }));
  rig.Hands->OnMessage = [&](const QString &text) {
    // From the bridge prompt on: "\r", the three letters, then into the records.
    if (when == "records" && text == BridgePrompt)
      rig.Controller.SetFaults(With([](sim::Faults &f) { f.HangUpAfterBytesReceived = 200; }));
    if (when == "power cycle" && text == PowerCyclePrompt) rig.Controller.HangUp();
  };

  rig.StartUpload();

  const QString lost = "The connection to serial port 1 (" + device +
                       ") was lost.\nThe uploading procedure will be interrupted!\nPlease refer to file " +
                       BackupPath(rig) + " to rescue C/U parameters";
  // Nothing after the loss: no prompt loop, no restore dialog, no success.
  QCOMPARE(rig.Hands->Messages, prompts + QStringList{lost});
  QCOMPARE(rig.Hands->RestoreDialogsShown, 0);
  if (when == "records") {
    QVERIFY(SRecordsReceived(rig.Controller) > 0);
    QVERIFY(SRecordsReceived(rig.Controller) < 14);
  }
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::unwritableBackupStopsBeforeTheControllerIsTouched_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("keeping");  // the earlier backup cannot be kept, rather than the new one written
  QTest::newRow("full: before the erase") << true << false;
  QTest::newRow("parameter list only: before window 500") << false << false;
  QTest::newRow("full: the earlier backup cannot be kept") << true << true;
  QTest::newRow("parameter list only: the earlier backup cannot be kept") << false << true;
}

void UploadEndToEndTest::unwritableBackupStopsBeforeTheControllerIsTouched() {
  QFETCH(bool, full);
  QFETCH(bool, keeping);
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, true, SmallList());
  const QString earlier = rig.WorkDir.filePath("tmpLogWin.txt");
  const QDateTime saved(QDate(2026, 12, 7), QTime(19, 30, 12));
  const QString keptName = rig.WorkDir.filePath("tmpLogWin-20261207-193012.txt");
  if (keeping) {
    rig.Write("tmpLogWin.txt", "an earlier upload's backup\r\n");
    QFile stamped(earlier);
    QVERIFY(stamped.open(QIODevice::ReadWrite) && stamped.setFileTime(saved, QFileDevice::FileModificationTime));
    QVERIFY(QDir(rig.WorkDir.path()).mkdir(QFileInfo(keptName).fileName()));  // the name it would be kept under
  } else {
    QVERIFY(QDir(rig.WorkDir.path()).mkdir("tmpLogWin.txt"));
  }
  const auto flash = rig.Controller.Flash();

  rig.StartUpload();

  const QString text = rig.Hands->LastMessage();
  const QString named = keeping ? "The earlier backup file " + BackupPath(rig) + " could not be kept as " +
                                      QDir(QDir::currentPath()).filePath(QFileInfo(keptName).fileName()) + ": "
                                : "The backup file " + BackupPath(rig) + " could not be written: ";
  QVERIFY2(text.startsWith(named), qPrintable(text));
  QVERIFY2(text.endsWith("\nThe uploading procedure will be interrupted!"), qPrintable(text));
  QVERIFY2(!text.mid(named.size()).section('\n', 0, 0).trimmed().isEmpty(), qPrintable(text));  // the reason
  QCOMPARE(rig.Hands->Messages.size(), full ? 2 : 1);
  for (const char *letter : {"E", "C", "P", "a", "d", "b"}) QCOMPARE(MonitorCommandCount(rig.Controller, letter, 1), 0);
  QVERIFY(!WrittenWindows(rig.Controller).contains(500));
  QVERIFY(rig.Controller.Flash() == flash);
  if (keeping) QCOMPARE(rig.BackupFile(), QByteArray("an earlier upload's backup\r\n"));
  else QVERIFY(QFileInfo(earlier).isDir());
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

// A full upload interrupted after the erase leaves a controller without a
// program: the next run's backup reads nothing but failures. The first run's
// values must survive it, and the technician be told where they are.
void UploadEndToEndTest::backupOfAControllerWithoutProgramKeepsTheEarlierOne() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  rig.Controller.SetFaults(With([](sim::Faults &f) { f.RefuseRecord = 0; }));
  rig.StartUpload();
  QCOMPARE(rig.Hands->LastMessage(), Interruption(rig, "Programming Controller"));
  const QByteArray firstBackup = rig.BackupFile();
  QCOMPARE(firstBackup, BackupFileOf(identification));
  const QDateTime firstSaved = QFileInfo(rig.WorkDir.filePath("tmpLogWin.txt")).lastModified();
  // The technician removes the bridge and powers up: no program, no application.
  rig.Controller.SetFaults({});
  rig.Controller.SetBridge(false);
  rig.Controller.PowerCycle();
  QVERIFY(!rig.Controller.WithModel([](const sim::ControllerModel &m) { return m.ProgramPresent(); }));

  // Again, with Check Errors off, so that the failed backup is written.
  rig.TickCheckErrors();
  rig.Hands->Messages.clear();
  QStringList tooltips;
  rig.Hands->OnRestoreDialog = [&](frmUpdateWin &dialog) { tooltips << dialog.txtWin[0]->toolTip(); };
  rig.StartUpload();

  const QString kept = QDir(QDir::currentPath()).filePath(KeptBackupName(firstSaved));
  QFile keptFile(kept);
  QVERIFY2(keptFile.open(QIODevice::ReadOnly), qPrintable(kept));
  QCOMPARE(keptFile.readAll(), firstBackup);
  QVERIFY(rig.BackupFile().contains("VE (Win 310)\t\t#TIMEOUT#\r\n"));
  const QString named = "The last values read from a controller are in " + kept + ", saved " +
                        firstSaved.toString("yyyy-MM-dd HH:mm:ss") + ".";
  QVERIFY2(rig.Hands->LastMessage().startsWith(FullSuccess + "\n"), qPrintable(rig.Hands->LastMessage()));
  QVERIFY2(rig.Hands->LastMessage().endsWith("\n" + named), qPrintable(rig.Hands->LastMessage()));
  QCOMPARE(tooltips.size(), 1);
  QVERIFY2(tooltips[0].endsWith("\n" + named), qPrintable(tooltips[0]));
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadEndToEndTest::nothingActsWhileAnUploadRuns() {
  UploadRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, true, SmallList());
  frmMain &window = *rig.Window;
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
    if (modal && !qobject_cast<QMessageBox *>(modal) && !qobject_cast<frmUpdateWin *>(modal)) {
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
  QCOMPARE(window.UploadMode(), qint16(0));
  QCOMPARE(window.CheckErrors(), qint16(-1));
  QCOMPARE(window.ParameterFile(), rig.WorkDir.filePath("list.txt"));
  // One upload, not two nested ones.
  QCOMPARE(rig.Hands->Messages, QStringList({PowerCyclePrompt, ParameterSuccess}));
  QCOMPARE(ReadsOf(rig.Controller, 310), 1);
  EXPECT_IDLE(rig);
  // Afterwards the window takes its orders again.
  window.findChild<QAction *>("mnuCheckError")->trigger();
  QCOMPARE(window.CheckErrors(), qint16(0));
}

QTEST_MAIN(UploadEndToEndTest)
#include "test_upload_e2e.moc"
