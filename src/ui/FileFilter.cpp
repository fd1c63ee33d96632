#include "FileFilter.h"

#include <QStringList>

namespace {

QString OneFilter(const QString &display, const QString &pattern) {
  const QString patterns = pattern.split(';', Qt::SkipEmptyParts).join(' ').trimmed();
  const QString group = '(' + patterns + ')';
  // Qt reads the patterns from the trailing parentheses; a display text that
  // already ends in them is shown as it is rather than with a second copy.
  if (patterns.isEmpty() || display.trimmed().endsWith(group)) return display.trimmed();
  return display.trimmed() + ' ' + group;
}

}  // namespace

QString QtFileFilter(const QString &barFilter) {
  const QStringList parts = barFilter.split('|');
  QStringList filters;
  for (int i = 0; i < parts.size(); i += 2)
    filters << OneFilter(parts[i], i + 1 < parts.size() ? parts[i + 1] : QString());
  return filters.join(QStringLiteral(";;"));
}
