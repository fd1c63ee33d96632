#pragma once
// SIGTERM and SIGHUP (a logoff, a shutdown, a kill) and the desktop session's
// end reach the window program as a request to end: an upload running stops
// at its next safe point, writes its journal line and closes the port before
// the program ends (MainWindow::EndSession). A second signal ends it at once.

class MainWindow;

void EndSessionOnSignals(MainWindow &window);

// The signal's name, as the journal and the wire trace give it.
const char *SessionSignalName(int signal);
