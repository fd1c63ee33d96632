#pragma once
// Tells the terminal what the main window's "Upload Status" frame shows: each
// step caption and its progress, and each message the technician is shown.
// With Screenshots, it also pictures the main window once in every step.

#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QTimer>

class QLabel;
class QProgressBar;
class Screenshots;
class MainWindow;

class StepReporter : public QObject {
 public:
  StepReporter(MainWindow &window, Screenshots *shots);

  void Message(const QString &text);
  // For lines of the demo's own.
  static void Print(const QString &line);

 private:
  void LookAtCaption();
  void Progress(int value);
  bool ProgressWorthPrinting(int value, int max);
  void PictureOnce(int value, int max);
  QPixmap PictureOfWindow();

  MainWindow &window_;
  Screenshots *shots_;
  QLabel *caption_;
  QProgressBar *bar_;
  QTimer poll_;
  QString shownCaption_;
  int lastValue_ = 0;
  int lastTenth_ = -1;
  QSet<QString> pictured_;
};
