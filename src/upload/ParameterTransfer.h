#pragma once

#include "FailureRecord.h"
#include "StepHost.h"

// Parameter list: written byte by byte through the monitor, then read back.
StepOutcome SendParameterList(StepHost &host, FailureRecord &record);
StepOutcome VerifyParameterList(StepHost &host, FailureRecord &record);
