#pragma once
// One press of "Start Upload" turned into a complete upload: the file and
// port checks, the two sequences with the technician's prompts, the test
// points, the interruption message and the restore loop.

#include "StepHost.h"

#include <QString>

// What the driver needs of the main window beyond what the steps use.
class UploadHost : public StepHost {
 public:
  virtual qint16 UploadMode() const = 0;  // -1 full upload, otherwise parameter list only
  virtual qint16 ComPort() const = 0;
  // The device chosen with the port number, opened whatever the number names
  // by now; empty: the number decides.
  virtual QString ComPortDevice() const { return {}; }
  // How messages name the open port: "serial port 2 (/dev/ttyUSB1)".
  virtual QString PortName();
  // What the technician is told when the port does not open.
  virtual QString PortOpenFailure();
  // Modal, one OK button, no icon, captioned "Calvenori Uploader"; lines joined by CR.
  virtual void Message(const QString &text) = 0;
  // frmUpdateWin, modal, owned by the main window; returns once it has closed.
  virtual void ShowRestoreDialog() = 0;
  virtual void SetOuterHeightTwips(int twips) = 0;
  // While busy nothing the event loop delivers can act on the window.
  virtual void SetBusy(bool busy) = 0;
  // Where the journal of uploads goes, relative to the working folder; empty:
  // calvenori-uploads.csv there.
  virtual QString JournalFile() const { return {}; }
  // How an upload the host ended itself (by throwing out of the driver)
  // ended, in the journal's words.
  virtual QString HostEnding() const { return QStringLiteral("interrupted"); }
};

constexpr int IdleHeightTwips = 3450;
constexpr int UploadHeightTwips = 5000;

// The click of cmdStartDownload.
void StartUpload(UploadHost &host);

void UploadAll(UploadHost &host);
void UploadParameterList(UploadHost &host);
void AbortUpload(UploadHost &host, const QString &step);

// The texts the technician is shown, lines joined by CR.
// `withRescue`: followed by the line naming a kept backup when the latest one
// holds no controller's values.
QString InterruptionText(const QString &step, bool withRescue = true);
// The interruption message's last two lines, pointing at the backup.
QString InterruptionTail(bool withRescue = true);
QString BackupPathForMessage();
// `missing`: the device is not there at all (unplugged), not merely refused.
QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, bool missing = false);
