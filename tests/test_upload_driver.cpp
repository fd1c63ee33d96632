// The upload driver on a scripted host: its sequences, prompts, test points,
// restore loop and refusals, against the simulated controller on the real
// port, with no window. Whole uploads through the window are in test_upload_e2e.
#include "ParameterTransfer.h"
#include "ProgramTransfer.h"
#include "DriverRig.h"
#include "TestDialects.h"
#include "ProgramTexts.h"
#include "FailureRecord.h"
#include "Journal.h"
#include "ParameterList.h"
#include "SmallDisk.h"
#include "Technician.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "WindowProtocol.h"
#include "UnfinishedUpload.h"
#include "UploadDriver.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace expect;
using sim::Dialect;

namespace {

constexpr int SmallListBytes = 3;  // in SmallList()

// Cuts the controller's power once it has taken `records` S-records, as a
// power failure halfway through programming would.
void PowerFailsAfterRecords(DriverRig &rig, int records) {
  auto *timer = new QTimer(&rig.Owner);
  QObject::connect(timer, &QTimer::timeout, timer, [&c = rig.Controller, timer, records] {
    if (c.WithModel([](const sim::ControllerModel &m) { return m.RecordsReceived(); }) < records) return;
    c.PowerOff();
    timer->stop();
  });
  timer->start(0);
}

int SRecordsReceived(const sim::SimulatedController &c) { return MonitorCommandCount(c, "S"); }

// As the window would be after an upload: port closed, 3450 twips, not busy.
#define EXPECT_IDLE(rig)                                                        \
  do {                                                                          \
    QVERIFY(!(rig).Port.IsOpen());                                              \
    QCOMPARE((rig).Height(), 3450);                                             \
    QVERIFY((rig).Host.BusyStates.isEmpty() || !(rig).Host.BusyStates.last()); \
  } while (0)

// A fault, what it leads to, and what must or must not have reached the controller.
struct Fault {
  bool Full = false;
  Dialect Monitor = Dialect::E;
  std::function<void(DriverRig &)> Arm;
  QString Step;           // the interruption it causes while Check Errors is on
  int Ignored = 0;        // the failures let pass while it is off; -1: not tried off
  QStringList Prompts;    // shown before the interruption
  std::function<void(DriverRig &)> Verify;
  QString Detail;         // the interruption message's line after the standard ones
};

sim::Faults With(std::function<void(sim::Faults &)> set) {
  sim::Faults f;
  set(f);
  return f;
}

std::function<void(DriverRig &)> Inject(sim::Faults faults) {
  return [faults](DriverRig &rig) { rig.Controller.SetFaults(faults); };
}

}  // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Dialect)
Q_DECLARE_METATYPE(sim::Mode)
Q_DECLARE_METATYPE(Remains)

class UploadDriverTest : public QObject {
  Q_OBJECT

 private slots:
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
  void fullDiskStopsBeforeTheControllerIsTouched_data();
  void fullDiskStopsBeforeTheControllerIsTouched();
  void secondUploadInTheFolderIsRefused_data();
  void secondUploadInTheFolderIsRefused();
  void monitorAnsweringInsteadOfTheApplication_data();
  void monitorAnsweringInsteadOfTheApplication();
  void hostEndsTheUploadAtAPrompt_data();
  void hostEndsTheUploadAtAPrompt();
  void journalLinePerOutcome_data();
  void journalLinePerOutcome();
  void twoFoldersTwoJournals();
  void finishFromWhereItStopped_data();
  void finishFromWhereItStopped();
  void pulledAdapterIsWaitedFor_data();
  void pulledAdapterIsWaitedFor();
};

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
                    Fault{false, Dialect::E, readFails, "saving parameters", 1, {}, [](DriverRig &rig) {
                            if (rig.Host.CheckErrors()) {
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
                    Fault{true, Dialect::E, readFails, "saving parameters", -1, {}, [](DriverRig &rig) {
                            QVERIFY(rig.Controller.MonitorCommands().isEmpty());
                            QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
                          }});

  // Nothing that only the parameter monitor may hear goes out before it answers:
  // with Check Errors off too, the upload ends there (finishFromWhereItStopped).
  rows << qMakePair("setting in monitor mode: window 500 refused",
                    Fault{false, Dialect::E, Inject(With([](sim::Faults &f) { f.RejectAllWrites = true; })),
                          "setting in monitor mode", -1, {}, [](DriverRig &rig) {
                            // The controller never left its application.
                            QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::Application);
                            QVERIFY(!rig.Controller.LastCrc());
                            QCOMPARE(WrittenWindows(rig.Controller).mid(0, 3), QList<int>({500, 500, 500}));
                            QCOMPARE(rig.Controller.ParameterMemory().count(0x0400), size_t(0));
                            if (rig.Host.CheckErrors()) QCOMPARE(WrittenWindows(rig.Controller).size(), 3);
                          }});

  // Let pass: both erases, and then, the parameter set never having been
  // erased, the controller restarts into its application, which takes
  // neither the CRC nor the 3 writes and 3 reads.
  rows << qMakePair(
      "Programming Controller: (E) monitor does not confirm the erase",
      Fault{true, Dialect::E, Inject(With([](sim::Faults &f) { f.EraseNotErased = true; })), "Programming Controller",
            9, {BridgePrompt}, [](DriverRig &rig) {
              const bool on = rig.Host.CheckErrors();
              QCOMPARE(MonitorCommandCount(rig.Controller, "E", 1), EraseAttempts);
              QCOMPARE(MonitorCommandCount(rig.Controller, "C", 1), on ? 0 : EraseAttempts);
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
                    Fault{true, Dialect::E, Inject(With([](sim::Faults &f) {
                            f.RefuseRecord = 3;
                            f.RefuseRecordTimes = RefusedRecordAttempts;
                          })),
                          "Programming Controller", 1, {BridgePrompt}, [](DriverRig &rig) {
                            const QByteArray refused = ProgramFile(12).split('\n')[3].trimmed();
                            const QList<QByteArray> commands = rig.Controller.MonitorCommands();
                            QCOMPARE(commands.count(refused), RefusedRecordAttempts);
                            if (rig.Host.CheckErrors()) {
                              QCOMPARE(commands.last(), QByteArray("\r"));  // its last check, nothing after it
                              return;
                            }
                            QCOMPARE(SRecordsReceived(rig.Controller), 14 + RefusedRecordAttempts - 1);
                            QVERIFY(rig.Controller.Locked());
                          }});

  rows << qMakePair("Programming Controller: power fails halfway through the records",
                    Fault{true, Dialect::Er, [](DriverRig &rig) { PowerFailsAfterRecords(rig, 5); },
                          "Programming Controller", -1, {BridgePrompt}, [](DriverRig &rig) {
                            QVERIFY(SRecordsReceived(rig.Controller) >= 5);
                            QVERIFY(SRecordsReceived(rig.Controller) < 14);
                            QVERIFY(!rig.Controller.LastCrc());
                          }});

  const auto crcFails = Inject(With([](sim::Faults &f) { f.CrcReplyCrLf = true; }));
  const auto crcRecorded = [](DriverRig &rig) {
    QVERIFY(rig.Controller.LastCrc());
    QCOMPARE(MonitorCommandCount(rig.Controller, "E", 8), rig.Host.CheckErrors() ? 0 : SmallListBytes);
  };
  rows << qMakePair("CRC verifyng, full", Fault{true, Dialect::E, crcFails, "CRC verifyng", 1,
                                                {BridgePrompt, BridgeRemovalPrompt}, crcRecorded});
  rows << qMakePair("CRC verifyng, parameter list only",
                    Fault{false, Dialect::E, crcFails, "CRC verifyng", 1, {}, crcRecorded});

  rows << qMakePair(
      "file parameters writing: writes answered CR LF",
      Fault{false, Dialect::E, Inject(With([](sim::Faults &f) { f.ParamWriteCrLf = true; })), "file parameters writing",
            SmallListBytes, {}, [](DriverRig &rig) {
              // With Check Errors on the transfer stops at the first byte's last
              // attempt, and the read-back writes the bytes never sent; off, the
              // later bytes get one attempt each, the monitor having refused.
              const bool on = rig.Host.CheckErrors();
              QCOMPARE(MonitorCommandCount(rig.Controller, "E", 8), ByteWriteAttempts + SmallListBytes - 1);
              QCOMPARE(MonitorCommandCount(rig.Controller, "R", 6), on ? 1 + 2 * (SmallListBytes - 1) : SmallListBytes);
            }});
  rows << qMakePair(
      "file parameters writing: a byte reads back wrong",
      Fault{false, Dialect::E, Inject(With([](sim::Faults &f) {
              f.WrongReadAddress = 0x0401;
              f.ReadBack = sim::ReadBackForm::Echo;
            })),
            "file parameters writing", 1, {}, [](DriverRig &rig) {
              // Written again and read again every round, never mended.
              QCOMPARE(MonitorCommandCount(rig.Controller, "E", 8), SmallListBytes + MendRounds - 1);
              QCOMPARE(MonitorCommandCount(rig.Controller, "R", 6), 1 + MendRounds + (rig.Host.CheckErrors() ? 0 : 1));
            }, "Address 0401: wrote DC, read back 23."});

  rows << qMakePair("Locking controller: window 501 disabled",
                    Fault{false, Dialect::E, Inject(With([](sim::Faults &f) { f.ErrorWindow = 501; })),
                          "Locking controller", 1, {PowerCyclePrompt}, [](DriverRig &rig) {
                            QVERIFY(!rig.Controller.Locked());
                            QCOMPARE(WrittenWindows(rig.Controller).count(501), 3);
                            QCOMPARE(rig.Host.RestoreDialogsShown, 1);
                          }});
  return rows;
}

}  // namespace

void UploadDriverTest::testPointInterrupts_data() {
  QTest::addColumn<Fault>("fault");
  for (const auto &[name, fault] : TestPointFaults()) QTest::newRow(name) << fault;
}

void UploadDriverTest::testPointInterrupts() {
  QFETCH(Fault, fault);
  DriverRig rig(fault.Monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, fault.Full, true, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  fault.Arm(rig);

  rig.StartUpload();

  QString detail = fault.Detail.isEmpty() ? QString() : "\n" + fault.Detail;
  detail += WayOnAfter(rig.WorkDir.path(), fault.Full, fault.Step);
  if (fault.Step == "saving parameters")
    detail.prepend("\n" + texts::Unchanged.chopped(1) + ", and this upload did not write tmpLogWin.txt.");
  QCOMPARE(rig.Host.Messages, fault.Prompts + QStringList{Interruption(rig.WorkDir.path(), fault.Step) + detail});
  EXPECT_IDLE(rig);
  QCOMPARE(rig.Result, UploadResult::Interrupted);
  if (fault.Step != "saving parameters") QCOMPARE(rig.BackupFile(), BackupFileOf(identification));
  fault.Verify(rig);
}

// ---------------------------------------------------------------------------

void UploadDriverTest::failuresLetPassWithCheckErrorsOff_data() {
  QTest::addColumn<Fault>("fault");
  for (const auto &[name, fault] : TestPointFaults())
    if (fault.Ignored >= 0) QTest::newRow(name) << fault;
}

void UploadDriverTest::failuresLetPassWithCheckErrorsOff() {
  QFETCH(Fault, fault);
  DriverRig rig(fault.Monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, fault.Full, false, SmallList());
  fault.Arm(rig);

  rig.StartUpload();

  QCOMPARE(rig.Host.Messages,
           NormalPrompts(fault.Full) + QStringList{Success(fault.Full ? FullSuccess : ParameterSuccess, fault.Ignored)});
  QCOMPARE(rig.Host.RestoreDialogsShown, 1);
  EXPECT_IDLE(rig);
  fault.Verify(rig);
}

// ---------------------------------------------------------------------------

void UploadDriverTest::restoreLoop_data() {
  QTest::addColumn<bool>("checkErrors");
  QTest::addColumn<bool>("sendAgain");  // on the second showing; cancel otherwise
  QTest::newRow("Check Errors on, the second showing cancelled") << true << false;
  QTest::newRow("Check Errors on, the second send succeeds") << true << true;
  QTest::newRow("Check Errors off: the lock follows at once") << false << false;
}

void UploadDriverTest::restoreLoop() {
  QFETCH(bool, checkErrors);
  QFETCH(bool, sendAgain);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, checkErrors, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  rig.Host.OnRestoreDialog = [&](IdWindowTexts &texts) {
    if (rig.Host.RestoreDialogsShown == 1) {
      rig.Controller.SetFaults(With([](sim::Faults &f) { f.ErrorWindow = 322; }));
      texts[3] = "PMP-CORRECTED";
      return true;
    }
    rig.Controller.SetFaults({});
    return sendAgain;
  };

  rig.StartUpload();

  if (checkErrors) {
    QCOMPARE(rig.Host.Messages, QStringList({PowerCyclePrompt, RepeatRestorePrompt, ParameterSuccess}));
    QCOMPARE(rig.Host.RestoreDialogsShown, 2);
  } else {
    QCOMPARE(rig.Host.Messages, QStringList({PowerCyclePrompt, Success(ParameterSuccess, 1)}));
    QCOMPARE(rig.Host.RestoreDialogsShown, 1);
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

void UploadDriverTest::bridgePromptRepeatsUntilTheMonitorAnswers_data() {
  QTest::addColumn<int>("promptLength");  // of the monitor until the technician gets it right
  QTest::newRow("controller left running its application") << 12;
  QTest::newRow("monitor prompt too short to carry its tag") << 7;
}

void UploadDriverTest::bridgePromptRepeatsUntilTheMonitorAnswers() {
  QFETCH(int, promptLength);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  const QByteArray firmware = ProgramFile(12);
  Choose(rig, true, true, SmallList(), firmware);
  rig.Controller.SetPromptLength(promptLength);
  rig.FollowsPrompts = false;
  int bridgePrompts = 0;
  rig.OnMessage = [&](const QString &text) {
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
  QCOMPARE(rig.Host.Messages,
           QStringList({BridgePrompt, BridgePrompt, BridgePrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}));
  QVERIFY(rig.Controller.Flash() == FlashImageOf(firmware));
  EXPECT_IDLE(rig);
}

void UploadDriverTest::bridgeRemovalPromptRepeatsOnlyForTheEMonitor_data() {
  QTest::addColumn<Dialect>("monitor");
  for (const TestDialect &d : TestDialects())
    QTest::addRow("%s: %s", d.Name,
                  d.RemovalRepeats ? "asked again while the bridge is in" : "asked once, whatever the monitor answers")
        << d.Sim;
}

void UploadDriverTest::bridgeRemovalPromptRepeatsOnlyForTheEMonitor() {
  QFETCH(Dialect, monitor);
  DriverRig rig(monitor);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  rig.FollowsPrompts = false;
  int removalPrompts = 0;
  rig.OnMessage = [&](const QString &text) {
    // The first time the technician forgets to remove the bridge.
    if (text == BridgeRemovalPrompt && ++removalPrompts == 1) return;
    Technician::FollowPrompt(rig.Controller, text);
  };

  rig.StartUpload();

  if (TestDialectOf(monitor).RemovalRepeats) {
    QCOMPARE(rig.Host.Messages,
             QStringList({BridgePrompt, BridgeRemovalPrompt, BridgeRemovalPrompt, PowerCyclePrompt, FullSuccess}));
  } else {
    // The boot monitor is still there and cannot take the CRC.
    QCOMPARE(rig.Host.Messages, QStringList({BridgePrompt, BridgeRemovalPrompt, Interruption(rig.WorkDir.path(), "CRC verifyng") + WayOnAfter(rig.WorkDir.path(), true, "CRC verifyng")}));
    QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::BootMonitor);
  }
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadDriverTest::emptyChoicesAreRefused_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("list");
  QTest::addColumn<bool>("program");
  QTest::addColumn<QString>("message");
  QTest::newRow("full, nothing chosen") << true << false << false << "Select a valid parameter list!";
  QTest::newRow("full, no parameter list") << true << false << true << "Select a valid parameter list!";
  QTest::newRow("full, no program file") << true << true << false << "Select a valid program file!";
  QTest::newRow("parameter list only, nothing chosen") << false << false << true << "Select a valid parameter list!";
}

void UploadDriverTest::emptyChoicesAreRefused() {
  QFETCH(bool, full);
  QFETCH(bool, list);
  QFETCH(bool, program);
  QFETCH(QString, message);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  if (full) rig.ChooseFullMode();
  if (list) rig.ChooseParameterList(rig.Write("list.txt", SmallList()));
  if (program) rig.ChooseProgramFile(rig.Write("fw.s19", ProgramFile(12)));
  rig.TickCheckErrors();

  rig.StartUpload();

  QCOMPARE(rig.Host.Messages, QStringList{message});
  QVERIFY(rig.Controller.Received().isEmpty());
  QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
  EXPECT_IDLE(rig);
}

void UploadDriverTest::badFileIsRefusedBeforeAnyByteIsSent_data() {
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

void UploadDriverTest::badFileIsRefusedBeforeAnyByteIsSent() {
  QFETCH(bool, full);
  QFETCH(QByteArray, list);
  QFETCH(QByteArray, program);
  QFETCH(QString, refused);
  QFETCH(QString, fault);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, true, list, program);
  bool portOpenWhenShown = true;
  int heightWhenShown = 0;
  rig.OnMessage = [&](const QString &) {
    portOpenWhenShown = rig.Port.IsOpen();
    heightWhenShown = rig.Height();
  };

  rig.StartUpload();

  QCOMPARE(rig.Host.Messages.size(), 1);
  const QString path = rig.WorkDir.filePath(refused);
  QVERIFY2(rig.Host.Messages.last().contains(path + fault), qPrintable(rig.Host.Messages.last()));
  QVERIFY(!portOpenWhenShown);
  QCOMPARE(heightWhenShown, 3450);
  QVERIFY(rig.Controller.Received().isEmpty());
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadDriverTest::portThatCannotBeOpened_data() {
  QTest::addColumn<bool>("held");
  QTest::newRow("no such device") << false;
  QTest::newRow("held by another program") << true;
}

void UploadDriverTest::portThatCannotBeOpened() {
  QFETCH(bool, held);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  const QString device = held ? rig.Controller.SlavePath() : QStringLiteral("/nonexistent/ttyX");
  QSerialPort other(device);
  if (held) QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
  else qputenv("CALVENORI_PORTS", device.toLocal8Bit());
  int heightWhenShown = 0;
  rig.OnMessage = [&](const QString &) { heightWhenShown = rig.Height(); };

  rig.StartUpload();

  QCOMPARE(rig.Host.Messages.size(), 1);
  const QString text = rig.Host.Messages.last();
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

void UploadDriverTest::unpluggedAdapterEndsTheUpload_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<QString>("when");
  QTest::addColumn<QStringList>("prompts");  // shown before the line went
  QTest::addColumn<Remains>("remains");
  QTest::newRow("during the identification backup") << false << "backup" << QStringList() << Remains::Everything;
  QTest::newRow("halfway through the program file") << true << "records" << QStringList{BridgePrompt} << Remains::Program;
  QTest::newRow("while the controller restarts") << false << "power cycle" << QStringList{PowerCyclePrompt}
                                                 << Remains::Restore;
}

void UploadDriverTest::unpluggedAdapterEndsTheUpload() {
  QFETCH(bool, full);
  QFETCH(QString, when);
  QFETCH(QStringList, prompts);
  QFETCH(Remains, remains);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, true, SmallList());
  const QString device = rig.Controller.SlavePath();
  if (when == "backup") rig.Controller.SetFaults(With([](sim::Faults &f) { f.HangUpAfterBytesReceived = 30; }));
  rig.OnMessage = [&](const QString &text) {
    // From the bridge prompt on: "\r", the three letters, then into the records.
    if (when == "records" && text == BridgePrompt)
      rig.Controller.SetFaults(With([](sim::Faults &f) { f.HangUpAfterBytesReceived = 200; }));
    if (when == "power cycle" && text == PowerCyclePrompt) rig.Controller.HangUp();
  };

  rig.StartUpload();

  const QString lostWayOn = WayOn(rig.WorkDir.path(), full, remains);
  const QString lost = "The connection to serial port 1 (" + device +
                       ") was lost.\n" + texts::Interrupts + "\n" +
                       texts::RescueFrom(BackupPath(rig.WorkDir.path())) + lostWayOn;
  // Nothing after the loss: no prompt loop, no restore dialog, no success.
  QCOMPARE(rig.Host.Messages, prompts + QStringList{lost});
  QCOMPARE(rig.Host.RestoreDialogsShown, 0);
  if (when == "records") {
    QVERIFY(SRecordsReceived(rig.Controller) > 0);
    QVERIFY(SRecordsReceived(rig.Controller) < 14);
  }
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

void UploadDriverTest::unwritableBackupStopsBeforeTheControllerIsTouched_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("keeping");  // the earlier backup cannot be kept, rather than the new one written
  QTest::newRow("full: before the erase") << true << false;
  QTest::newRow("parameter list only: before window 500") << false << false;
  QTest::newRow("full: the earlier backup cannot be kept") << true << true;
  QTest::newRow("parameter list only: the earlier backup cannot be kept") << false << true;
}

void UploadDriverTest::unwritableBackupStopsBeforeTheControllerIsTouched() {
  QFETCH(bool, full);
  QFETCH(bool, keeping);
  DriverRig rig;
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

  const QString text = rig.Host.Messages.last();
  const QString named = keeping ? "The earlier backup file " + BackupPath(rig.WorkDir.path()) + " could not be kept as " +
                                      QDir(QDir::currentPath()).filePath(QFileInfo(keptName).fileName()) + ": "
                                : "The backup file " + BackupPath(rig.WorkDir.path()) + " could not be written: ";
  QVERIFY2(text.startsWith(named), qPrintable(text));
  const QString state = "\n" + texts::Unchanged + (full ? " " + texts::WaitsInMonitor : QString());
  QVERIFY2(text.endsWith("\n" + texts::Interrupts + state), qPrintable(text));
  QVERIFY2(!text.mid(named.size()).section('\n', 0, 0).trimmed().isEmpty(), qPrintable(text));  // the reason
  QCOMPARE(rig.Host.Messages.size(), full ? 2 : 1);
  for (const char *letter : {"E", "C", "P", "a", "d", "b"}) QCOMPARE(MonitorCommandCount(rig.Controller, letter, 1), 0);
  QVERIFY(!WrittenWindows(rig.Controller).contains(500));
  QVERIFY(rig.Controller.Flash() == flash);
  if (keeping) QCOMPARE(rig.BackupFile(), QByteArray("an earlier upload's backup\r\n"));
  else QVERIFY(QFileInfo(earlier).isDir());
  EXPECT_IDLE(rig);
}

void UploadDriverTest::fullDiskStopsBeforeTheControllerIsTouched_data() {
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("earlier");  // a good backup is there from an earlier upload
  QTest::newRow("full, earlier backup") << true << true;
  QTest::newRow("full, first backup") << true << false;
  QTest::newRow("parameter list only, earlier backup") << false << true;
  QTest::newRow("parameter list only, first backup") << false << false;
}

// The disk fills up after the folder was checked, while the controller is read.
void UploadDriverTest::fullDiskStopsBeforeTheControllerIsTouched() {
  QFETCH(bool, full);
  QFETCH(bool, earlier);
  SmallDisk disk;
  REQUIRE_SMALL_DISK(disk);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, true, SmallList());
  QVERIFY(QDir::setCurrent(disk.Path()));
  const QByteArray before = "VE (Win 310)\t\t004321\r\n(an earlier upload's backup)\r\n";
  if (earlier) WriteTestFile(disk.Path(), "tmpLogWin.txt", before);
  rig.Host.OnCaption = [&disk](const QString &caption) {
    if (caption == "Storing Controller Parameters") disk.Fill();
  };

  const UploadVerdict verdict = RunUpload(rig.Host, QDir::current());

  // The journal beside the backup cannot take this upload's line either, and
  // says so just before the interruption message, which comes last.
  QCOMPARE(verdict.Result, UploadResult::Interrupted);
  QVERIFY(!verdict.Journalled);
  const QString journal = rig.Host.Messages.value(rig.Host.Messages.size() - 2);
  QVERIFY2(journal.startsWith("The upload journal " + disk.FilePath("calvenori-uploads.csv") + " could not be written: "),
           qPrintable(journal));
  const QString text = rig.Host.Messages.last();
  const QString path = disk.FilePath("tmpLogWin.txt");
  const QString named = earlier ? "The earlier backup file " + path + " could not be kept as " : "The backup file " + path;
  QVERIFY2(text.startsWith(named) && text.contains(": No space left on device\n"), qPrintable(text));
  QVERIFY2(text.contains("\n" + texts::Unchanged), qPrintable(text));
  for (const char *letter : {"E", "C", "P", "a", "d", "b"}) QCOMPARE(MonitorCommandCount(rig.Controller, letter, 1), 0);
  QVERIFY(!WrittenWindows(rig.Controller).contains(500));
  const QStringList left = QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden);
  QCOMPARE(left, earlier ? QStringList({".filler", "tmpLogWin.txt"}) : QStringList{".filler"});
  QFile kept(path);
  QCOMPARE(kept.open(QIODevice::ReadOnly) ? kept.readAll() : QByteArray(), earlier ? before : QByteArray());
  EXPECT_IDLE(rig);
  QVERIFY(QDir::setCurrent(rig.WorkDir.path()));
}

// A controller an unfinished upload left in a monitor: asked with CRs alone,
// named for what answers, and never told it was not changed.
void UploadDriverTest::monitorAnsweringInsteadOfTheApplication_data() {
  QTest::addColumn<sim::Mode>("mode");
  QTest::addColumn<Dialect>("dialect");
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("checkErrors");
  QTest::addColumn<QString>("said");
  const QString boot = "The controller's application does not answer on serial port 1 ({port}), its boot monitor "
                       "does (dialect %1).\nIts pins 5 and 9 are bridged, or its program is missing: remove the bridge, "
                       "switch the controller off and on, and start the upload again. If its boot monitor still answers, "
                       "a full upload with the identification values of a backup of this controller finishes the job.";
  const QString monitor = "The controller's application does not answer on serial port 1 ({port}), a monitor does.\n"
                          "Its program or its parameters are missing or incomplete, as an upload that did not finish "
                          "leaves them.\nA full upload with the identification values of a backup of this controller "
                          "finishes the job.";
  for (const TestDialect &d : TestDialects()) {
    QTest::addRow("boot monitor %s, full", d.Name) << sim::Mode::BootMonitor << d.Sim << true << true << boot.arg(d.Name);
    QTest::addRow("boot monitor %s, Check Errors off", d.Name)
        << sim::Mode::BootMonitor << d.Sim << true << false << boot.arg(d.Name);
  }
  QTest::newRow("boot monitor, parameter list only")
      << sim::Mode::BootMonitor << Dialect::E << false << true << boot.arg("(E)");
  QTest::newRow("parameter monitor, Check Errors off")
      << sim::Mode::ParameterMonitor << Dialect::E << false << false << monitor;
}

void UploadDriverTest::monitorAnsweringInsteadOfTheApplication() {
  QFETCH(sim::Mode, mode);
  QFETCH(Dialect, dialect);
  QFETCH(bool, full);
  QFETCH(bool, checkErrors);
  QFETCH(QString, said);
  DriverRig rig(dialect);
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, full, checkErrors, SmallList());
  rig.Controller.SetMode(mode);
  rig.Controller.ClearReceived();

  rig.StartUpload();

  const QString finish = "To finish it, choose \"Upload Parameter List and Program File\" and start the upload again: "
                         "it asks for a backup of this controller to take the values from.";
  QCOMPARE(rig.Host.Messages,
           QStringList{texts::ErrorDuring("saving parameters") + "\n" + texts::Interrupts + "\n" +
                       QString(said).replace("{port}", rig.Controller.SlavePath()) + "\n" + finish});
  QCOMPARE(rig.Result, UploadResult::Interrupted);
  // The first read request and CRs, nothing a monitor could take as a command.
  const QByteArray crs = mode == sim::Mode::BootMonitor ? "\r" : "\r\r";
  QCOMPARE(rig.Controller.Received(), ReadRequestFrame(310).repeated(SilentReadAttempts) + crs);
  QCOMPARE(rig.Controller.CurrentMode(), mode);
  QVERIFY(!QFile::exists(rig.WorkDir.filePath("tmpLogWin.txt")));
  EXPECT_IDLE(rig);
}

void UploadDriverTest::secondUploadInTheFolderIsRefused_data() {
  QTest::addColumn<bool>("checking");  // the other upload is checking the folder right now
  QTest::newRow("the other one uploading") << false;
  QTest::newRow("the other one checking the folder") << true;
}

// Two uploads in one folder would keep and replace each other's backups. The
// second asks for the lock before it looks at the folder, so it neither
// trips over the other's check nor spoils it.
void UploadDriverTest::secondUploadInTheFolderIsRefused() {
  QFETCH(bool, checking);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  QLockFile other(rig.WorkDir.filePath("tmpLogWin.txt.lock"));
  QVERIFY(other.tryLock(0));
  const QString othersCheck = rig.WorkDir.filePath(".calvenori-folder-check");
  if (checking) rig.Write(".calvenori-folder-check", "check\r\n");

  rig.StartUpload();

  QCOMPARE(QFileInfo::exists(othersCheck), checking);

  QCOMPARE(rig.Host.Messages.size(), 1);
  const QString text = rig.Host.Messages[0];
  QVERIFY2(text.startsWith("The working folder " + QDir::toNativeSeparators(QDir::currentPath()) +
                           " cannot take the backup file tmpLogWin.txt: another upload is running there (") &&
               text.contains(QStringLiteral(", process %1 on ").arg(QCoreApplication::applicationPid())) &&
               text.endsWith(").\nThe upload has not been started."),
           qPrintable(text));
  QCOMPARE(rig.Controller.Received(), QByteArray());
  EXPECT_IDLE(rig);

  other.unlock();
  rig.Host.Messages.clear();
  rig.StartUpload();
  QCOMPARE(rig.Host.Messages.last(), FullSuccess);
  QVERIFY(!QFileInfo::exists(rig.WorkDir.filePath("tmpLogWin.txt.lock")));
}

// A failed action or an unanswered prompt: the upload ends there, nothing
// more is said, and the port is closed and the host idle again.
void UploadDriverTest::hostEndsTheUploadAtAPrompt_data() {
  QTest::addColumn<int>("kind");  // also the prompt's place in the full upload
  QTest::newRow("bridge") << int(PromptKind::Bridge);
  QTest::newRow("bridge removal") << int(PromptKind::Unbridge);
  QTest::newRow("power cycle") << int(PromptKind::PowerCycle);
}

void UploadDriverTest::hostEndsTheUploadAtAPrompt() {
  QFETCH(int, kind);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, true, true, SmallList());
  rig.Host.OnPrompt = [&](PromptKind asked) {
    return int(asked) == kind ? PromptAnswer::Abort : PromptAnswer::Continue;
  };

  rig.StartUpload();

  QCOMPARE(rig.Result, UploadResult::Interrupted);
  QCOMPARE(rig.Host.Messages, NormalPrompts(true).mid(0, kind + 1));
  QVERIFY(!rig.Controller.Locked());
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

namespace {

QList<QStringList> JournalOf(const QString &dir) {
  QFile file(QDir(dir).filePath("calvenori-uploads.csv"));
  QList<QStringList> records;
  if (file.open(QIODevice::ReadOnly)) ParseCsv(file.readAll(), records, nullptr);
  return records;
}

// Journal columns
enum { Started = 0, Mode = 6, PartNumber = 10, SerialNumber, ListPath, ListSha, Outcome = 16, LetPass, Backup };

}  // namespace

void UploadDriverTest::journalLinePerOutcome_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<QString>("outcome");  // how the line's outcome begins; empty: no line
  const QString refused = "refused before anything was sent";
  QTest::newRow("uploaded") << "uploaded" << "uploaded";
  QTest::newRow("uploaded, a failure let pass") << "let pass" << "uploaded";
  QTest::newRow("nothing chosen") << "nothing chosen" << refused;
  QTest::newRow("a bad parameter list") << "bad list" << refused;
  QTest::newRow("another upload in the folder") << "locked" << refused;
  QTest::newRow("the journal is not one") << "foreign journal" << "";
  QTest::newRow("port not opened") << "no port" << "port not opened";
  QTest::newRow("CRC refused") << "crc" << "interrupted at CRC verifyng";
  QTest::newRow("connection lost") << "hang-up" << "connection lost";
  QTest::newRow("backup cannot be written") << "no backup" << "interrupted: The backup file ";
}

void UploadDriverTest::journalLinePerOutcome() {
  QFETCH(QString, how);
  QFETCH(QString, outcome);
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, how != "let pass", how == "bad list" ? QByteArray("not a list\r\n") : SmallList());
  if (how == "nothing chosen") rig.ChooseParameterList({});
  QLockFile other(rig.WorkDir.filePath("tmpLogWin.txt.lock"));
  if (how == "locked") QVERIFY(other.tryLock(0));
  if (how == "no port") qputenv("CALVENORI_PORTS", "/nonexistent/ttyX");
  if (how == "no backup") QVERIFY(QDir(rig.WorkDir.path()).mkdir("tmpLogWin.txt"));
  const QByteArray foreign = "Item,Price\r\nPump,100\r\n";
  if (how == "foreign journal") rig.Write("calvenori-uploads.csv", foreign);
  sim::Faults faults;
  faults.CrcReplyCrLf = how == "crc";
  faults.HangUpAfterBytesReceived = how == "hang-up" ? 30 : faults.HangUpAfterBytesReceived;
  faults.WrongReadAddress = how == "let pass" ? 0x0401 : faults.WrongReadAddress;
  rig.Controller.SetFaults(faults);
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  const auto identification = IdentificationOf(rig.Controller);
  // The journal's records and whether the folder was free, as each message came.
  QList<int> records;
  QList<bool> folderFree;
  rig.OnMessage = [&](const QString &) {
    records << JournalOf(rig.WorkDir.path()).size();
    folderFree << QLockFile(rig.WorkDir.filePath("tmpLogWin.txt.lock")).tryLock(0);
  };

  const UploadVerdict verdict = RunUpload(rig.Host, QDir::current());

  const QList<QStringList> journal = JournalOf(rig.WorkDir.path());
  QCOMPARE(verdict.Journalled, !outcome.isEmpty());
  if (outcome.isEmpty()) {
    QVERIFY2(rig.Host.Messages.last().startsWith("The upload journal " + rig.WorkDir.filePath("calvenori-uploads.csv") +
                                                 " cannot take a line: it is not an upload journal"),
             qPrintable(rig.Host.Messages.last()));
    QCOMPARE(rig.Controller.Received(), QByteArray());
    QFile kept(rig.WorkDir.filePath("calvenori-uploads.csv"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), foreign);
    return;
  }
  QCOMPARE(journal.size(), 2);
  QCOMPARE(journal[0], JournalHeader());
  // Written once the result is known, before the last message, the folder
  // let go by then: a power cut while that message is open loses nothing.
  QCOMPARE(records.last(), 2);
  QVERIFY(!records.mid(0, records.size() - 1).contains(2));
  QCOMPARE(folderFree.last(), how != "locked");
  const QStringList line = journal[1];
  QVERIFY2(line[Outcome].startsWith(outcome), qPrintable(line[Outcome]));
  QVERIFY2(QDateTime::fromString(line[Started], Qt::ISODate) >= before, qPrintable(line[Started]));
  QCOMPARE(line.mid(Mode, 3), QStringList({"parameter list", how == "let pass" ? "off" : "on", "1"}));
  QCOMPARE(line[ListPath], rig.Host.ParameterPath);
  QCOMPARE(line[ListSha].size(), how == "nothing chosen" ? 0 : 64);
  const bool read = QStringList{"uploaded", "let pass", "crc", "no backup"}.contains(how);
  // The line goes before window 323 (the fourth read after 319) is read.
  QCOMPARE(line[PartNumber], read || how == "hang-up" ? QString(identification.at(319)) : QString());
  QCOMPARE(line[SerialNumber], read ? QString(identification.at(323)) : QString());
  QCOMPARE(line[LetPass], how == "let pass" ? "1" : "0");
  QCOMPARE(line[Backup], read && how != "no backup" ? BackupPath(rig.WorkDir.path()) : QString());
}

// Each folder's journal holds the uploads made there; an earlier backup kept
// is named beside the new one.
void UploadDriverTest::twoFoldersTwoJournals() {
  DriverRig rig;
  QVERIFY2(rig.Started(), qPrintable(rig.StartError));
  Choose(rig, false, true, SmallList());
  rig.StartUpload();
  QTemporaryDir second;
  QVERIFY(QDir::setCurrent(second.path()));
  rig.StartUpload();
  rig.Write("tmpLogWin.txt", "an earlier upload's backup\r\n");
  QVERIFY(QDir::setCurrent(rig.WorkDir.path()));
  rig.StartUpload();

  const QList<QStringList> first = JournalOf(rig.WorkDir.path()), other = JournalOf(second.path());
  QCOMPARE(first.size(), 3);
  QCOMPARE(other.size(), 2);
  QCOMPARE(other[1][Backup], BackupPath(second.path()));
  QVERIFY2(first[2][Backup].startsWith(BackupPath(rig.WorkDir.path()) + "; earlier one kept as tmpLogWin-"),
           qPrintable(first[2][Backup]));
  for (const QStringList &line : {first[1], first[2], other[1]}) QCOMPARE(line[Outcome], "uploaded");
}


// ---------------------------------------------------------------------------

namespace {

// Where and how an upload is cut short.
enum class Cut {
  Stop,     // the host stops it, as a stop signal does
  Lost,     // the adapter goes away and comes back
  Refused,  // the controller refuses (Check Errors on) or stays silent
};

struct FinishCase {
  bool Full = false;
  QString At;  // a step caption, "bridge", "unbridge", "power cycle", "restore", "lock"
  Cut How = Cut::Stop;
  Remains Left = Remains::Everything;  // what the message says is left
  bool CheckErrors = true;
  bool OtherPumpMeanwhile = false;  // another pump's upload in the same folder before the finish
  sim::Dialect Monitor = Dialect::E;
};

void ArmCut(DriverRig &rig, const FinishCase &c, bool &cut) {
  const auto once = [&cut, &rig, c] {
    if (cut) return;
    cut = true;
    if (c.How == Cut::Stop) rig.Host.StopUpload("The upload was stopped.");
    if (c.How == Cut::Lost) rig.Controller.UnplugAfterBytesReceived(c.At == "Sending Program File" ? 200 : 8, 200);
  };
  rig.Host.OnCaption = [once, c](const QString &caption) {
    if (caption == c.At) once();
  };
  const QMap<QString, QString> prompts{{"bridge", BridgePrompt}, {"unbridge", BridgeRemovalPrompt},
                                       {"power cycle", PowerCyclePrompt}};
  rig.OnMessage = [&rig, &cut, once, c, prompts](const QString &text) {
    if (text != prompts.value(c.At) || cut) return;
    if (c.How == Cut::Stop) return once();
    cut = true;
    rig.Controller.Unplug(200);
  };
  rig.Host.OnRestoreDialog = [&rig, &cut, c](IdWindowTexts &) {
    if (cut) return true;
    if (c.At == "restore") {
      cut = true;
      rig.Controller.Unplug(200);
    }
    if (c.At == "lock") {
      cut = true;
      rig.Controller.SetFaults(With([](sim::Faults &f) { f.ErrorWindow = 501; }));
    }
    return true;
  };
  if (c.How == Cut::Refused && c.At == "Setting Controller in Monitor Mode")
    rig.Controller.SetFaults(With([](sim::Faults &f) { f.SilentMonitor = true; }));
}

// A clean upload of the small list leaves this in the controller.
void ExpectUploaded(DriverRig &rig, bool full, const std::map<int, QByteArray> &identification) {
  QString error;
  const auto memory = rig.Controller.ParameterMemory();
  for (const auto &[address, byte] : ParameterByteMap(rig.Host.ParameterPath, &error))
    QCOMPARE(int(memory.at(address)), int(byte));
  if (full) QVERIFY(rig.Controller.Flash() == FlashImageOf(ProgramFile(12)));
  QCOMPARE(IdentificationOf(rig.Controller), identification);
  QVERIFY(rig.Controller.Locked());
  QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::Application);
}

// Another pump on a second port, uploaded in the same folder: its values in tmpLogWin.txt now.
void UploadAnotherPump(DriverRig &rig) {
  sim::SimulatedController other;
  QVERIFY(other.Start());
  other.SetWindow(323, "C-OTHER-77");
  const QByteArray ports = qgetenv("CALVENORI_PORTS");
  qputenv("CALVENORI_PORTS", ports + "," + other.SlavePath().toLocal8Bit());
  rig.Host.Com = 2;
  const UploadKind mode = rig.Host.Mode;
  rig.Host.Mode = UploadKind::ParameterList;
  rig.OnMessage = [&other](const QString &text) { Technician::FollowPrompt(other, text); };
  rig.FollowsPrompts = false;
  rig.StartUpload();
  QCOMPARE(rig.Result, UploadResult::Uploaded);
  QVERIFY(rig.BackupFile().contains("C-OTHER-77"));
  rig.Host.Com = 1;
  rig.Host.Mode = mode;
  rig.OnMessage = {};
  rig.FollowsPrompts = true;
  qputenv("CALVENORI_PORTS", ports);
}

}  // namespace

Q_DECLARE_METATYPE(FinishCase)

void UploadDriverTest::finishFromWhereItStopped_data() {
  QTest::addColumn<FinishCase>("c");
  const auto row = [](const char *name, FinishCase c) { QTest::newRow(name) << c; };
  row("full, stopped while the windows are read", {true, "Storing Controller Parameters", Cut::Stop, Remains::Everything});
  row("full, stopped at the bridge prompt", {true, "bridge", Cut::Stop, Remains::Everything});
  row("full, line lost in the program", {true, "Sending Program File", Cut::Lost, Remains::Program});
  row("full, Er, stopped as the program begins", {true, "Sending Program File", Cut::Stop, Remains::Program, true, false, Dialect::Er});
  row("full, stopped at the bridge removal", {true, "unbridge", Cut::Stop, Remains::Parameters});
  row("full, line lost at the CRC", {true, "Sending CRC", Cut::Lost, Remains::Parameters});
  row("full, stopped in the parameter list", {true, "Sending Parameter List", Cut::Stop, Remains::Parameters});
  row("full, line lost at the power cycle", {true, "power cycle", Cut::Lost, Remains::Restore});
  row("full, line lost at the restore", {true, "restore", Cut::Lost, Remains::Restore});
  row("full, the lock refused", {true, "lock", Cut::Refused, Remains::Lock});
  row("full, another pump's upload before the finish",
      {true, "Sending Program File", Cut::Lost, Remains::Program, true, true});
  row("parameter list, stopped while the windows are read",
      {false, "Storing Controller Parameters", Cut::Stop, Remains::Everything});
  row("parameter list, stopped entering the monitor", {false, "Setting Controller in Monitor Mode", Cut::Stop, Remains::Parameters});
  row("parameter list, Check Errors off, the monitor silent",
      {false, "Setting Controller in Monitor Mode", Cut::Refused, Remains::Parameters, false});
  row("parameter list, line lost in the list", {false, "Sending Parameter List", Cut::Lost, Remains::Parameters});
  row("parameter list, stopped in the read-back", {false, "Verifying Parameter List", Cut::Stop, Remains::Parameters});
  row("parameter list, stopped at the power cycle", {false, "power cycle", Cut::Stop, Remains::Restore});
  row("parameter list, the lock refused", {false, "lock", Cut::Refused, Remains::Lock});
}

// Cut short anywhere, an upload says what the controller needs; finished as
// it says, only what was left is done, with the values of its own backup,
// and the controller ends as a clean upload leaves it, erased only where its
// program had to be written again.
void UploadDriverTest::finishFromWhereItStopped() {
  QFETCH(FinishCase, c);
  DriverRig rig(c.Monitor);
  QVERIFY2(rig.Started() && rig.UseLink(), qPrintable(rig.StartError));
  Choose(rig, c.Full, c.CheckErrors, SmallList());
  const auto identification = IdentificationOf(rig.Controller);
  bool cut = false;
  ArmCut(rig, c, cut);

  rig.StartUpload();

  QVERIFY(cut);
  QVERIFY(rig.Result == UploadResult::Interrupted || rig.Result == UploadResult::ConnectionLost);
  const QString own = OwnBackupIn(rig.WorkDir.path());
  const QString said = rig.Host.Messages.last();
  QVERIFY2(said.endsWith(WayOn(rig.WorkDir.path(), c.Full, c.Left)), qPrintable(said));
  // Nothing the boot monitor could take for a command before the parameter monitor answered.
  if (c.At == "Setting Controller in Monitor Mode") QCOMPARE(MonitorCommandCount(rig.Controller, "C"), 0);
  rig.Host.OnCaption = {};
  rig.Host.OnRestoreDialog = {};
  rig.Host.StopReason.clear();
  rig.OnMessage = {};
  QTRY_VERIFY(rig.Controller.Plugged());
  rig.Controller.SetFaults({});
  if (c.OtherPumpMeanwhile) UploadAnotherPump(rig);
  if (QTest::currentTestFailed()) return;
  rig.Controller.ClearReceived();

  const QString journal = JournalPathFor(QDir::current());
  const std::optional<UnfinishedAttempt> attempt = NewestUnfinished(journal, QDir::current(), rig.Host.JournalDevice());
  if (c.Left == Remains::Everything) {
    // As it says: the bridge off if it was made, the controller switched off and on.
    QVERIFY(!attempt);
    rig.Controller.SetBridge(false);
    rig.Controller.PowerCycle();
    rig.StartUpload();
  } else {
    QVERIFY(attempt);
    QCOMPARE(attempt->What, c.Left);
    QCOMPARE(attempt->OwnBackup, own);
    const FinishRequest request{*attempt, attempt->OwnBackup};
    rig.Result = RunUpload(rig.Host, QDir::current(), &request).Result;
  }

  QVERIFY2(rig.Result == UploadResult::Uploaded, qPrintable(rig.Host.Messages.join("\n---\n")));
  ExpectUploaded(rig, c.Full, identification);
  const int erases = MonitorCommandCount(rig.Controller, TestDialectOf(c.Monitor).Letters[0], 1);
  QCOMPARE(erases, c.Full && (c.Left == Remains::Program || c.Left == Remains::Everything) ? 1 : 0);
  QVERIFY(!NewestUnfinished(journal, QDir::current(), rig.Host.JournalDevice()));
  EXPECT_IDLE(rig);
}

// ---------------------------------------------------------------------------

namespace {

// What happens while the adapter is out.
enum class Meanwhile {
  Nothing,     // it comes back, the controller as it was
  PowerLost,   // the controller lost its power too
  Other,       // another controller is on the line when it comes back
  StaysAway,   // it never comes back
};

struct PullCase {
  bool Full = false;
  QString At;        // a step caption, or "restore": the dialog is open
  qint64 After = 8;  // bytes from the tool after the caption before it is pulled
  Meanwhile Then = Meanwhile::Nothing;
  Remains Left = Remains::Everything;  // what the message says is left, when it ends
};

}  // namespace

Q_DECLARE_METATYPE(PullCase)

void UploadDriverTest::pulledAdapterIsWaitedFor_data() {
  QTest::addColumn<PullCase>("c");
  const auto row = [](const char *name, const PullCase &c) { QTest::newRow(name) << c; };
  row("a window read of the backup", {false, "Storing Controller Parameters", 12});
  row("a parameter byte", {false, "Sending Parameter List", 8});
  row("the read-back", {false, "Verifying Parameter List", 4});
  row("an S-record", {true, "Sending Program File", 200});
  row("the restore dialog open, then Send", {false, "restore"});
  row("the controller lost its power meanwhile", {false, "Sending Parameter List", 8, Meanwhile::PowerLost, Remains::Parameters});
  row("another controller there at the restore", {false, "restore", 8, Meanwhile::Other, Remains::Restore});
  row("not back in time", {false, "Sending Parameter List", 8, Meanwhile::StaysAway, Remains::Parameters});
}

// An adapter pulled out and plugged in again: the upload waits for the same
// port and goes on from the exchange that was cut, unless the controller
// answers otherwise or the port stays away; then it ends with the way on.
void UploadDriverTest::pulledAdapterIsWaitedFor() {
  QFETCH(PullCase, c);
  DriverRig rig;
  QVERIFY2(rig.Started() && rig.UseLink(), qPrintable(rig.StartError));
  Choose(rig, c.Full, true, SmallList());
  rig.Host.PortWait = c.Then == Meanwhile::StaysAway ? 1 : 60;
  const auto identification = IdentificationOf(rig.Controller);
  bool pulled = false;
  const auto pull = [&rig, &pulled, c](bool now) {
    if (pulled) return;
    pulled = true;
    if (c.Then == Meanwhile::StaysAway) return rig.Controller.SetFaults(With([c](sim::Faults &f) { f.HangUpAfterBytesReceived = c.After; }));
    if (now || c.Then == Meanwhile::PowerLost) QVERIFY(rig.Controller.Unplug(300));
    else QVERIFY(rig.Controller.UnplugAfterBytesReceived(c.After, 300));
    if (c.Then == Meanwhile::PowerLost) rig.Controller.PowerCycle();
    if (c.Then == Meanwhile::Other) rig.Controller.SetWindow(323, "999999");
  };
  rig.Host.OnCaption = [pull, c](const QString &caption) {
    if (caption == c.At) pull(false);
  };
  rig.Host.OnRestoreDialog = [pull, c](IdWindowTexts &) {
    if (c.At == "restore") pull(true);
    return true;
  };

  rig.StartUpload();

  QVERIFY(pulled);
  QCOMPARE(rig.Host.PortWaitsSeen, 1);
  const QString said = rig.Host.Messages.join("\n---\n");
  if (c.Then == Meanwhile::Nothing) {
    QVERIFY2(rig.Result == UploadResult::Uploaded, qPrintable(said));
    QCOMPARE(rig.Controller.Unplugs(), 1);
    ExpectUploaded(rig, c.Full, identification);
    QVERIFY2(said.contains(texts::Repeated(1)), qPrintable(said));
  } else {
    QCOMPARE(rig.Result, UploadResult::ConnectionLost);
    const QString why = c.Then == Meanwhile::PowerLost ? "It came back, but the application answers there now"
                        : c.Then == Meanwhile::Other ? "It came back, but another controller (window 323: 999999) answers"
                                                     : "It did not come back within 1 s.";
    QVERIFY2(said.contains(why), qPrintable(said));
    QVERIFY2(said.endsWith(WayOn(rig.WorkDir.path(), c.Full, c.Left)), qPrintable(said));
    // Nothing was written to the controller after it answered otherwise.
    if (c.Then == Meanwhile::PowerLost) QCOMPARE(rig.Controller.CurrentMode(), sim::Mode::Application);
    if (c.Then == Meanwhile::Other)
      for (const int window : WrittenWindows(rig.Controller)) QCOMPARE(window, 500);  // no identification window
  }
  EXPECT_IDLE(rig);
}

QTEST_GUILESS_MAIN(UploadDriverTest)
#include "test_upload_driver.moc"
