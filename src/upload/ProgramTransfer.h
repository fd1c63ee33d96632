#pragma once

#include "BootDialect.h"
#include "FailureRecord.h"
#include "InputFile.h"
#include "SerialPort.h"
#include "StepProgress.h"

// Program file: erase, programming mode and the S-records, each acknowledged,
// in the dialect of the monitor's prompt tag; none (an unknown tag) sends nothing.
StepResult SendProgramFile(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &program,
                           const BootDialect *dialect);
