#include "StepReporter.h"

#include "Screenshots.h"
#include "MainWindow.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include <cstdio>

StepReporter::StepReporter(MainWindow &window, Screenshots *shots)
    : window_(window),
      shots_(shots),
      caption_(window.findChild<QLabel *>(QStringLiteral("lblStepDescription"))),
      bar_(window.findChild<QProgressBar *>(QStringLiteral("pgbStep"))) {
  if (!caption_ || !bar_) qFatal("The main window has no status frame to report");
  connect(bar_, &QProgressBar::valueChanged, this, [this](int value) { Progress(value); });
  // A caption set just before a step's first exchange shows up here; one set
  // before a fixed pause shows up with the progress that follows it.
  connect(&poll_, &QTimer::timeout, this, [this] { LookAtCaption(); });
  poll_.start(20);
}

void StepReporter::Print(const QString &line) {
  std::fputs(qPrintable(line + '\n'), stdout);
  std::fflush(stdout);
}

void StepReporter::Message(const QString &text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
  Print(QStringLiteral("[message] ") + shown.split('\n').join(QStringLiteral("\n          ")));
}

void StepReporter::LookAtCaption() {
  const QString caption = caption_->text();
  if (caption == shownCaption_ || caption.isEmpty()) return;
  shownCaption_ = caption;
  lastTenth_ = -1;
  Print(QStringLiteral("[step] ") + caption);
}

void StepReporter::Progress(int value) {
  LookAtCaption();
  // Steps only ever add one; any other change is a step resetting its bar
  // (a new range clamps the old value first), not progress.
  const bool advanced = value == lastValue_ + 1;
  lastValue_ = value;
  if (!advanced) return;
  const int max = bar_->maximum();
  if (ProgressWorthPrinting(value, max))
    Print(QStringLiteral("[step] %1  %2/%3").arg(shownCaption_).arg(value).arg(max));
  PictureOnce(value, max);
}

// Every tenth of the way and the end, so a long transfer stays readable.
bool StepReporter::ProgressWorthPrinting(int value, int max) {
  if (max <= 0) return false;
  const int tenth = value * 10 / max;
  if (tenth == lastTenth_ && value != max) return false;
  lastTenth_ = tenth;
  return true;
}

// The window sets its bar with updates off, so a picture of the window taken
// now leaves the bar out: draw the bar's own picture over it.
QPixmap StepReporter::PictureOfWindow() {
  QPixmap picture = window_.grab();
  QPainter painter(&picture);
  painter.drawPixmap(bar_->mapTo(&window_, QPoint(0, 0)), bar_->grab());
  return picture;
}

// A long transfer halfway through, a short step (several share a scale of a
// few points) at its first move.
void StepReporter::PictureOnce(int value, int max) {
  const bool shortStep = max <= 20;
  if (!shots_ || max <= 0 || (!shortStep && value * 2 < max) || pictured_.contains(shownCaption_)) return;
  pictured_.insert(shownCaption_);
  const QString path = shots_->Save(PictureOfWindow(), QStringLiteral("main ") + shownCaption_);
  if (path.isEmpty()) Print(QStringLiteral("[demo] could not save a screenshot in ") + shots_->Dir());
}
