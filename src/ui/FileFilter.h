#pragma once

#include <QString>

// Turns a filter in the "display|pattern|display|pattern" form, e.g.
// "Parameter List (*.txt)|*.txt", into the form QFileDialog takes,
// "Parameter List (*.txt)". Patterns separated by ';' become one group.
QString QtFileFilter(const QString &barFilter);
