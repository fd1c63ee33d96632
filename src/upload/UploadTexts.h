#pragma once
// What the technician is told during and at the end of an upload, a
// verification and a finish: one place for the sentences, lines joined by CR.

#include "UploadStage.h"

#include <QDir>
#include <QString>

enum class OpenFault;  // SerialPort.h
enum class UploadResult;

// How the journal and the demo name a result: "uploaded", "port not opened", ...
QString ResultWords(UploadResult result);

// "The uploading procedure will be interrupted!"
QString InterruptionSentence();
// `withRescue`: followed by the line naming a kept backup when the latest one
// holds no controller's values.
QString InterruptionText(const QString &step, const QDir &folder, bool withRescue = true);
// The interruption message's last two lines, pointing at the backup.
QString InterruptionTail(const QDir &folder, bool withRescue = true);
QString BackupPathForMessage(const QDir &folder);

// A window that got no byte back on `portName`: the line or the power, not the values.
QString NotAnsweringText(const QString &portName);
// `reason` in the system's words; `fault` picks the one tip that fits it, if any.
// `notStarted` says what was not done: "The upload has not been started."
QString PortOpenFailureText(int portNumber, const QString &device, const QString &reason, OpenFault fault,
                            const QString &notStarted = QStringLiteral("The upload has not been started."));
// How a program lets the technician pick a port, as the tips say it.
struct PortPicking {
  QString Again;    // the same port, once plugged in
  QString Another;  // another port
};
// The one tip for what the system said of a port that did not open; empty
// where it said something no tip fits.
QString OpenFaultTip(OpenFault fault, const PortPicking &picking);

// The prompts of the sequences.
QString BridgePromptText();
QString BridgeRemovalPromptText();
QString PowerCyclePromptText();
QString StillInMonitorPromptText();

// What a controller an attempt left unfinished needs, in the technician's
// words; empty for Remains::Nothing and Remains::Everything, where the
// ending says what it has to say itself.
QString NeedsText(UploadKind kind, Remains remains);
