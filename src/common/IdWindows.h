#pragma once
// The controller's nine identification windows: what a backup holds.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>

// One identification window of the controller.
struct IdWindow {
  QByteArray Value;  // as last read from the controller; empty before the first backup
  QByteArray DataType;  // "N" or "A"
  int Win = 0;
  // The last read failed and Value holds the link's failure text, not data.
  bool ReadFailed = false;
};

constexpr int IdWindowCount = 9;

// The rows that say which controller a backup belongs to.
constexpr int ControllerPartNumberRow = 2;    // window 319
constexpr int ControllerSerialNumberRow = 6;  // window 323
constexpr int PumpSerialNumberRow = 5;        // window 322

// The backup file of the identification windows, in the working folder.
inline constexpr char BackupFileName[] = "tmpLogWin.txt";

// The nine identification windows of one backup, in read, log, show and
// write-back order.
using IdBackup = std::array<IdWindow, IdWindowCount>;

// Row titles for the backup file and the restore dialog.
inline constexpr std::array<const char *, IdWindowCount> IdWindowLabels = {
    "VE (Win 310)",
    "Vref (Win 311)",
    "Controller P/N (Win 319)",
    "Pump P/N (Win 320)",
    "Pump Special Model (Win 321)",
    "Pump S/N (Win 322)",
    "Controller S/N (Win 323)",
    "Pump Modification Level (Win 324)",
    "Controller Modific. Level (Win 325)",
};

// The rows with their window numbers and type letters, no values yet.
IdBackup BlankBackup();
