#pragma once

#include "BootDialect.h"
#include "FailureRecord.h"
#include "StepHost.h"

#include <optional>

// Program file: erase, programming mode and the S-records, each acknowledged,
// in the dialect of the monitor's prompt tag; none (an unknown tag) sends nothing.
StepOutcome SendProgramFile(StepHost &host, FailureRecord &record, std::optional<BootDialect> dialect);
