#pragma once

#include "BootDialect.h"
#include "FailureRecord.h"
#include "InputFile.h"
#include "SerialPort.h"
#include "StepProgress.h"

// How often each exchange with the boot monitor is made before its step fails.
// At 1 in 100 a byte lost or spoiled, a record of 44 characters fails about
// one attempt in three: twelve attempts leave about one record in 500,000
// unsent, while a monitor that refuses a record every time (about 0.3 s an
// attempt) stops the transfer within 4 s.
constexpr int RecordAttempts = 12;
// An erase answer spoiled on the line is met by the same erase: repeating
// one is harmless.
constexpr int EraseAttempts = 4;

// Program file: erase, programming mode and the S-records, each acknowledged,
// in the dialect of the monitor's prompt tag; none (an unknown tag) sends nothing.
StepResult SendProgramFile(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &program,
                           const BootDialect *dialect);
