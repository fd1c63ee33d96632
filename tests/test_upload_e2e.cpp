// Complete uploads through the main window, as a technician runs them.
#include "ParameterList.h"
#include "TestFiles.h"
#include "UploadRig.h"

#include <QtTest>

class UploadEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void fullUploadProgramsTheController() {
    UploadRig rig(sim::Dialect::E);
    QVERIFY2(rig.Started(), qPrintable(rig.StartError));
    const QByteArray firmware = ProgramFile(30);
    const QString list = rig.Write("list.txt", ParameterList("&H0400", {{2, 1500}, {4, -7}, {1, 9}}));
    rig.ChooseFullMode();
    rig.ChooseProgramFile(rig.Write("fw.s19", firmware));
    rig.ChooseParameterList(list);
    rig.TickCheckErrors();
    std::map<int, QByteArray> before;
    for (int w : {310, 311, 319, 320, 321, 322, 323, 324, 325}) before[w] = rig.Controller.Window(w);

    rig.StartUpload();

    QCOMPARE(rig.Hands->LastMessage(), QString("Program File and Parameter List have been uploaded!"));
    QVERIFY(rig.Controller.Flash() == FlashImageOf(firmware));
    QString error;
    const auto params = ParameterByteMap(list, &error);
    const auto memory = rig.Controller.ParameterMemory();
    for (const auto &[address, byte] : params) QCOMPARE(int(memory.at(address)), int(byte));
    for (const auto &[w, value] : before) QCOMPARE(rig.Controller.Window(w), value);
    QVERIFY(rig.Controller.Locked());
    QVERIFY(!rig.Window->Port().IsOpen());
    QCOMPARE(rig.Window->OuterHeightTwips(), 3450);
    QCOMPARE(rig.Hands->RestoreDialogsShown, 1);
    QVERIFY(rig.BackupFile().startsWith("VE (Win 310)\t\t" + before[310] + "\r\n"));
  }
};

QTEST_MAIN(UploadEndToEndTest)
#include "test_upload_e2e.moc"
