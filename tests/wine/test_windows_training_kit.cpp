// The window program's whole upload on Windows against the training kit's
// simulator, under Wine: calvenori-sim.exe serves COM14 and the window uses
// COM15, the two joined as by a null-modem pair (run-windows-test.sh --pair
// 14 15). The technician's hands are the simulator's own "ctl" on its named
// pipe.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ControlChannel.h"
#include "ProgramTexts.h"
#include "MainWindow.h"
#include "Technician.h"
#include "TestFiles.h"

class WindowsTrainingKitTest : public QObject {
  Q_OBJECT

 private slots:
  void wholeUploadFromTheWindow_data();
  void wholeUploadFromTheWindow();
};

void WindowsTrainingKitTest::wholeUploadFromTheWindow_data() {
  QTest::addColumn<bool>("full");
  QTest::newRow("full") << true;
  QTest::newRow("parameter list") << false;
}

void WindowsTrainingKitTest::wholeUploadFromTheWindow() {
  QFETCH(bool, full);
  const QString pipe = QStringLiteral("calvenori-kit-%1").arg(QCoreApplication::applicationPid());
  QProcess served;
  served.start(QCoreApplication::applicationDirPath() + "/../sim/calvenori-sim.exe",
               {"--device", "COM14", "--control", pipe});
  while (!served.canReadLine()) QVERIFY2(served.waitForReadyRead(-1), served.readAllStandardError().constData());
  QCOMPARE(served.readLine().trimmed(), QByteArray("COM14"));

  QTemporaryDir work;
  // The backup goes to the current folder, which must be left before the
  // folder can go, whatever the outcome.
  struct InFolder {
    const QString Saved = QDir::currentPath();
    explicit InFolder(const QString &path) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(Saved); }
  };
  {
    InFolder inWork(work.path());
    MainWindow window;
    window.SetComPort(15);
    window.show();
    QStringList failedHands;
    Technician technician([&](const QByteArray &command) {
      QString error;
      if (!sim::SendControlCommand(pipe, command, &error)) failedHands << command + ": " + error;
    });
    const auto choose = [&window](const char *button, const QString &path) {
      window.OpenFileDialog = [path](QWidget *, const QString &, const QString &) { return path; };
      window.findChild<QPushButton *>(button)->click();
    };
    choose("cmdParameterPath", WriteTestFile(work.path(), "list.txt", ParameterList("&H0400", {{2, 1500}, {1, 200}})));
    if (full) {
      window.findChild<QRadioButton *>("optAll")->click();
      choose("cmdProgramPath", WriteTestFile(work.path(), "fw.s19", ProgramFile(12)));
    }
    window.findChild<QPushButton *>("cmdStartDownload")->click();  // returns when the upload has ended
    QVERIFY2(failedHands.isEmpty(), qPrintable(failedHands.join('\n')));
    QVERIFY2(technician.LastMessage().endsWith(full ? texts::FullSuccess : texts::ParameterSuccess),
             qPrintable(technician.Messages.join("\n---\n")));
    QCOMPARE(technician.RestoreDialogsShown, 1);
    QVERIFY(QFile::exists(work.filePath("tmpLogWin.txt")));
  }
  served.closeWriteChannel();
  QVERIFY(served.waitForFinished(-1));
  QCOMPARE(served.exitCode(), 0);
}

QTEST_MAIN(WindowsTrainingKitTest)
#include "test_windows_training_kit.moc"
