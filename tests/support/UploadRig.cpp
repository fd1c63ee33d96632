#include "UploadRig.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "TestFiles.h"

UploadRig::UploadRig(sim::Dialect dialect, bool paced, const sim::LineDelivery &line) : Controller(dialect) {
  savedDir_ = QDir::currentPath();
  QDir::setCurrent(WorkDir.path());
  Controller.SetPaced(paced);
  Controller.SetDelivery(line);
  if (!Controller.Start(&StartError) && StartError.isEmpty()) StartError = "the simulator did not start";
  qputenv("CALVENORI_PORTS", Controller.SlavePath().toLocal8Bit());
  Window = std::make_unique<MainWindow>();
  // A line cut for good ends the upload at once; the cases of a port that
  // comes back say how long it is waited for.
  Window->SetPortWaitSeconds(0);
  Window->show();
  Hands = std::make_unique<Technician>(Controller);
}

UploadRig::~UploadRig() {
  Hands.reset();
  Window.reset();
  QDir::setCurrent(savedDir_);
}

void UploadRig::ChooseParameterList(const QString &path) {
  Window->OpenFileDialog = [path](QWidget *, const QString &, const QString &) { return path; };
  Window->findChild<QPushButton *>("cmdParameterPath")->click();
}

void UploadRig::ChooseProgramFile(const QString &path) {
  Window->OpenFileDialog = [path](QWidget *, const QString &, const QString &) { return path; };
  Window->findChild<QPushButton *>("cmdProgramPath")->click();
}

void UploadRig::ChooseFullMode() { Window->findChild<QRadioButton *>("optAll")->click(); }

void UploadRig::TickCheckErrors() { Window->findChild<QAction *>("mnuCheckError")->trigger(); }

void UploadRig::StartUpload() { Window->findChild<QPushButton *>("cmdStartDownload")->click(); }

QString UploadRig::Write(const QString &name, const QByteArray &content) {
  return WriteTestFile(WorkDir.path(), name, content);
}

QByteArray UploadRig::BackupFile() const {
  QFile f(WorkDir.filePath("tmpLogWin.txt"));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
