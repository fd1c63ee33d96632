#pragma once
// A whole upload as the technician does it: the real main window, the real
// port, a simulated controller on a pseudo-terminal, and a Technician that
// answers every modal window.

#include "SimulatedController.h"
#include "Technician.h"
#include "MainWindow.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

struct UploadRig {
  // `line`: how the controller's bytes reach the tool (even unless told).
  UploadRig(sim::Dialect dialect = sim::Dialect::E, bool paced = false, const sim::LineDelivery &line = {});
  ~UploadRig();

  sim::SimulatedController Controller;
  std::unique_ptr<MainWindow> Window;
  std::unique_ptr<Technician> Hands;
  QTemporaryDir WorkDir;  // the current directory, where the backup goes
  QString StartError;

  bool Started() const { return StartError.isEmpty(); }

  // The technician's choices on the main window.
  void ChooseParameterList(const QString &path);
  void ChooseProgramFile(const QString &path);
  void ChooseFullMode();
  void TickCheckErrors();
  // Presses "Start Upload"; returns when the upload has ended.
  void StartUpload();

  QString Write(const QString &name, const QByteArray &content);
  QByteArray BackupFile() const;

 private:
  QString savedDir_;
};
