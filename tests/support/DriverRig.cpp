#include "DriverRig.h"

#include "ControllerLine.h"
#include "TestFiles.h"
#include "Technician.h"

#include <QDir>
#include <QFile>

DriverRig::DriverRig(sim::Dialect dialect, bool paced) : Controller(dialect) {
  savedDir_ = QDir::currentPath();
  QDir::setCurrent(WorkDir.path());
  Controller.SetPaced(paced);
  if (!Controller.Start(&StartError) && StartError.isEmpty()) StartError = "the simulator did not start";
  qputenv("CALVENORI_PORTS", Controller.SlavePath().toLocal8Bit());
  Port.SetSettings(ControllerLineSettings);
  Host.OnMessage = [this](const QString &text) {
    if (OnMessage) OnMessage(text);
    if (FollowsPrompts) Technician::FollowPrompt(Controller, text);
  };
}

DriverRig::~DriverRig() { QDir::setCurrent(savedDir_); }

bool DriverRig::UseLink() {
  const QString link = LinkDir.filePath("pump");
  if (!Controller.SetLink(link, &StartError)) return false;
  qputenv("CALVENORI_PORTS", link.toLocal8Bit());
  return true;
}

void DriverRig::StartUpload() { Result = ::StartUpload(Host, QDir::current()); }

int DriverRig::Height() const { return Host.Heights.isEmpty() ? 3450 : Host.Heights.last(); }

QString DriverRig::Write(const QString &name, const QByteArray &content) {
  return WriteTestFile(WorkDir.path(), name, content);
}

QByteArray DriverRig::BackupFile() const {
  QFile f(WorkDir.filePath("tmpLogWin.txt"));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
