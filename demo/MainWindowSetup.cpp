#include "MainWindowSetup.h"

#include "MainWindow.h"

#include <QAction>
#include <QPushButton>
#include <QRadioButton>

namespace {

template <typename T>
T &Control(MainWindow &window, const char *name) {
  T *control = window.findChild<T *>(QString::fromLatin1(name));
  if (!control) qFatal("The main window has no control named %s", name);
  return *control;
}

void ChooseFile(MainWindow &window, const char *button, const QString &path) {
  const MainWindow::FileDialog realDialog = window.OpenFileDialog;
  window.OpenFileDialog = [path](QWidget *, const QString &, const QString &) { return path; };
  Control<QPushButton>(window, button).click();
  window.OpenFileDialog = realDialog;
}

}  // namespace

void PrepareMainWindow(MainWindow &window, const ExampleFiles &files, bool fullMode) {
  // The program file row only takes a file while the full mode is chosen.
  Control<QRadioButton>(window, "optAll").click();
  ChooseFile(window, "cmdParameterPath", files.ParameterList);
  ChooseFile(window, "cmdProgramPath", files.ProgramFile);
  if (!fullMode) Control<QRadioButton>(window, "optParameterList").click();
  QAction &checkErrors = Control<QAction>(window, "mnuCheckError");
  if (!checkErrors.isChecked()) checkErrors.trigger();
}

void PressStartUpload(MainWindow &window) { Control<QPushButton>(window, "cmdStartDownload").click(); }
