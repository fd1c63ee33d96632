#pragma once
// Numbered PNG pictures of the demo's windows, so they sort in the order they
// were taken: 01-main-clear-flash-memory.png, 02-message-please-switch-off...

#include <QString>

class QPixmap;
class QWidget;

class Screenshots {
 public:
  explicit Screenshots(const QString &dir) : dir_(dir) {}

  // Saves the widget as it would be drawn now; returns the file's path, or an
  // empty string when it could not be written.
  QString Save(QWidget &widget, const QString &what);
  QString Save(const QPixmap &picture, const QString &what);
  int Count() const { return count_; }
  QString Dir() const { return dir_; }

 private:
  QString dir_;
  int count_ = 0;
};
