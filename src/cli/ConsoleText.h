// The command line's one way to put text out, so that names like "Größe"
// read right wherever the text goes.
#pragma once

#include <QString>

#include <cstdio>

// Writes `text` to `stream`. A Windows console gets it as UTF-16, whatever
// its code page; anything else (a pipe, a file, a Linux terminal) gets UTF-8.
void WriteText(std::FILE *stream, const QString &text);
