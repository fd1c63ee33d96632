#pragma once

#include <QDir>
// --identify, --verify and --port auto: looking at the controller from a
// terminal, without changing it.

#include "CliOptions.h"

// --port auto: the one known port where a controller answers, put into
// `options`; otherwise false, the refusal printed and *status set.
bool ResolveAutoPort(CliOptions &options, int *status);

int IdentifyCommand(const CliOptions &options, const QDir &folder);
int VerifyCommand(const CliOptions &options, const QDir &folder);
