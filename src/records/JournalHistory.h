#pragma once
// The journal as --history prints it: an aligned table, newest first, of the
// columns a technician looks for.

#include "JournalCsv.h"

#include <QString>

// The journal's lines as an aligned table for a terminal, newest first.
QString JournalTableText(const JournalContent &content);
// The same read from `path`; *unreadable (when given) counts the lines skipped.
bool JournalTable(const QString &path, QString &table, QString *reason, int *unreadable = nullptr);
