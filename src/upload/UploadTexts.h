#pragma once
// What the technician is told during and at the end of an upload, a finish
// and a look at a controller, and the step captions: one place for the
// program's sentences, lines joined by CR.

#include "LineAnswer.h"
#include "StepHost.h"
#include "UploadStage.h"

#include <QDir>
#include <QList>
#include <QString>

enum class OpenFault;  // SerialPort.h
enum class UploadResult;
struct UnfinishedAttempt;

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
// A port lost during an upload: waited for, and why the wait ended short of going on.
QString WaitingForPortText(const QString &portName, int seconds);
QString PortNotBackText(int seconds);
// The step caption while it is waited for.
QString PortWaitCaption(int secondsLeft);
QString GaveUpOnPortText();
// It came back, but `answerer` ("the application") answers where another state was left.
QString PortBackOtherwiseText(const QString &answerer);
QString PortKeepsGoingText(int times);
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

// The success messages, and what Check Errors off let pass.
QString UploadedText(UploadKind kind);
QString IgnoredFailuresText(int failures);
// What the line cost an upload that succeeded: exchanges asked again, and
// the program records among them, whose damage the monitor may not report.
QString RepeatedExchangesText(int exchanges);
QString RecordsSentAgainText(int records);
// Said when exchanges had to be repeated but no record: a parameter byte sent
// to another address, or a CRC changed on the way, is taken as the right one.
QString NoisyLineText();

// How the window's endings say to finish, with the values of `valuesFrom`
// (empty: none known); and to run a full upload with a backup's values.
QString FinishInWindowText(const QString &valuesFrom);
QString RescueInWindowText(const QString &backupPath);

// The backup step stopped: nothing was changed, nor written; `silent`: not a
// byte came back, on `portName`.
QString NothingChangedNoBackupText(bool silent, const QString &portName);
// The backup could not be written, the controller not yet touched.
QString NothingChangedText(UploadKind kind);
// A host's stop before anything was changed.
QString NothingChangedStopText();

// What answers instead of the application, and what that means when no
// attempt in the journal says more.
QString MonitorAnswersText(const QString &portName, const LineAnswer &answer);
QString MonitorMeansText(const LineAnswer &answer);

// The restore left windows blank: `windows` (all nine: every one).
QString StaysBlankText(const QList<int> &windows);
QString NotWrittenBackText(const QString &staysBlank);

// A finish meets another controller than the one it finishes, or cannot tell.
QString OtherControllerText(const QString &portName, const QByteArray &part, const QByteArray &serial,
                            const UnfinishedAttempt &attempt, const QByteArray &wantedPart, const QByteArray &wantedSerial);
QString NumbersUnreadText(const QString &portName);
// No backup holds the values a finish writes back.
QString NoValuesForFinishText(const UnfinishedAttempt &attempt);

// A look at a controller (identify, verify).
QString NothingComparedText();      // the application did not answer
QString MonitorNotReachedText();    // the monitor-mode check failed
QString NoApplicationText(const QString &portName, bool anythingAnswered, const QString &answerer);
// What a verification stopped `inMonitor` or not leaves behind: nothing written.
enum class ExaminationReached { Nothing, Monitor, Application };
QString ExaminationStateText(ExaminationReached reached);
QString LockUnreadText();
QString RelockedText();
QString RelockFailedText();
