#include "Screenshots.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace {

// "Please switch OFF the controller," -> "please-switch-off-the-controller"
QString Slug(const QString &text) {
  QString slug;
  for (QChar c : text.toLower()) {
    if (c.isLetterOrNumber() && c.unicode() < 128) slug += c;
    else if (!slug.endsWith('-')) slug += '-';
  }
  slug = slug.left(48);
  while (slug.endsWith('-')) slug.chop(1);
  while (slug.startsWith('-')) slug.remove(0, 1);
  return slug;
}

}  // namespace

QString Screenshots::Save(QWidget &widget, const QString &what) { return Save(widget.grab(), what); }

QString Screenshots::Save(const QPixmap &picture, const QString &what) {
  const QString name = QStringLiteral("%1-%2.png").arg(count_ + 1, 2, 10, QChar('0')).arg(Slug(what));
  const QString path = QDir(dir_).filePath(name);
  if (!picture.save(path)) return QString();
  ++count_;
  return path;
}
