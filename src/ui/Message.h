#pragma once

#include <QString>

class QWidget;

// The caption of every message box of the program.
inline const char *const AppTitle = "Calvenori Uploader";

// Modal message box with one OK button and no icon. Lines may be joined by a
// lone carriage return; they are shown one per line.
void ShowMessage(QWidget *owner, const QString &text);
