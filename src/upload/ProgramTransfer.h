#pragma once

#include "FailureRecord.h"
#include "StepHost.h"

#include <QByteArray>

// Program file: erase, programming mode and the S-records, each acknowledged.
StepOutcome SendProgramFile(StepHost &host, FailureRecord &record, const QByteArray &PromptTag);
