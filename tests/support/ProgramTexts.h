#pragma once
// The program's own sentences as a technician reads them (lines joined by
// "\n"), written once for every test that compares a message: a rewording is
// mended here, not in each test that shows it. Inline, so that a test's own
// constants built from them at start-up find them made.

#include <QString>

namespace texts {

inline const QString BridgePrompt =
    "Please switch OFF the controller,\ncreate a short circuit between pins 5 and 9 and\nswitch on the controller again!";
inline const QString BridgeRemovalPrompt =
    "Please switch OFF the controller,\nremove the short circuit between pins 5 and 9 and\nswitch on the controller "
    "again!";
inline const QString PowerCyclePrompt =
    "Switch OFF and switch ON the controller.\nThe led changes its frequency blinking from high speed to low.\nAfter "
    "that click on OK button.";
inline const QString StillInMonitorPrompt = "Controller in monitor mode.\nSwitch it off and then switch on it again!";
inline const QString RepeatRestorePrompt = "Please check all the parameters are right and repeat the procedure";
inline const QString FullSuccess = "Program File and Parameter List have been uploaded!";
// What a success adds when the line cost repeats.
inline QString Repeated(int exchanges) { return QString("%1 exchange(s) had to be repeated.").arg(exchanges); }
inline const QString NoisyLine = "The line is noisy: mend the cable and run the upload again";
inline QString RecordsResent(int records) {
  return QString("%1 program record(s) had to be sent again: the line is noisy").arg(records);
}
inline const QString ParameterSuccess = "The Parameter List has been uploaded!";

inline const QString Interrupts = "The uploading procedure will be interrupted!";
inline const QString Unchanged = "Nothing in the controller was changed.";
// After Unchanged, for a controller left bridged in its boot monitor.
inline const QString WaitsInMonitor =
    "It waits in its boot monitor: take the bridge off pins 5 and 9, then switch it off and on again.";

QString ErrorDuring(const QString &step);   // "Error during <step>."
QString RescueFrom(const QString &backup);  // "Please refer to file <backup> to rescue C/U parameters"

// A text as the program hands it to a host: its lines joined by CR.
QString WithCr(const QString &text);
// A text on one line, as the journal and the stop message quote a prompt.
QString OnOneLine(const QString &text);

}  // namespace texts
