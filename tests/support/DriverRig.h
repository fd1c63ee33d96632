#pragma once
// The upload driver without a window: a scripted host on the real port and a
// simulated controller on a pseudo-terminal, the technician's hands following
// every prompt unless told otherwise. Pauses are recorded, not slept.

#include "ScriptedHost.h"
#include "SimulatedController.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>

struct DriverRig {
  DriverRig(sim::Dialect dialect = sim::Dialect::E, bool paced = false);
  ~DriverRig();

  sim::SimulatedController Controller;
  SerialPort Port;
  ScriptedHost Host{Port};
  QTemporaryDir WorkDir;  // the current directory, where the backup goes
  QString StartError;
  QObject Owner;          // for timers that act while an upload runs

  // Called with each message before the technician's hands follow it.
  std::function<void(const QString &)> OnMessage;
  bool FollowsPrompts = true;

  bool Started() const { return StartError.isEmpty(); }
  // Port 1 is a link to the controller's line that stays the same when the
  // line is unplugged and comes back; false when it cannot be made.
  bool UseLink();
  QTemporaryDir LinkDir;

  void ChooseParameterList(const QString &path) { Host.ParameterPath = path; }
  void ChooseProgramFile(const QString &path) { Host.ProgramPath = path; }
  void ChooseFullMode() { Host.Mode = UploadKind::Full; }
  void TickCheckErrors() { Host.Check = !Host.Check; }
  // Runs Start Upload; returns when the upload has ended, with its result in Result.
  void StartUpload();
  UploadResult Result = UploadResult::Refused;
  // The outer height the window would have now.
  int Height() const;

  QString Write(const QString &name, const QByteArray &content);
  QByteArray BackupFile() const;

 private:
  QString savedDir_;
};
