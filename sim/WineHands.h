#pragma once
// The technician's hands for a Windows program under Wine, on this machine:
// Wine 8 starts a Unix program from Windows ("start /unix") but can neither
// wait for it nor learn its exit status, and its sockets know no AF_UNIX. So
// the hands are a batch file that starts "calvenori-sim ctl" through
// "start /unix", wrapped in a shell that leaves its exit status in a file,
// and waits for that file.

#include <QString>

namespace sim {

// Wine's name for a Unix path: drive Z: and backslashes.
QString WindowsPath(QString unixPath);

// Writes hands.sh and hands.cmd into `folder`; returns the Windows command
// that, given cycle, bridge-and-cycle or unbridge-and-cycle, sends it to the
// control channel at `socket` and exits with the client's status.
QString WriteWineHands(const QString &folder, const QString &simProgram, const QString &socket);

}  // namespace sim
