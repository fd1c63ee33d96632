#pragma once
// Makes the technician's choices on the real main window, through its own
// controls, so the demo starts where a technician would press "Start Upload".

#include "ExampleFiles.h"

class MainWindow;

// Chooses both files, the mode and ticks "Check Errors". The file dialogs stay
// real afterwards, so other files can still be picked by hand.
void PrepareMainWindow(MainWindow &window, const ExampleFiles &files, bool fullMode);

// Presses "Start Upload"; returns when the upload has ended.
void PressStartUpload(MainWindow &window);
