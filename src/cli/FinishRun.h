#pragma once
// --finish: the attempt the journal shows unfinished on this port and in
// this folder, finished from where it stopped with the files it began with
// and the identification values of its own backup.

#include "CliOptions.h"

#include <QDir>

// Runs the finish; the exit status.
int FinishUpload(CliOptions options, const QDir &folder);
