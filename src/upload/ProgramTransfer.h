#pragma once

#include "BootDialect.h"
#include "FailureRecord.h"
#include "InputFile.h"
#include "SerialPort.h"
#include "StepProgress.h"

// How often each exchange with the boot monitor is made before its step fails.
// At 1 in 100 a byte lost or spoiled, a record of 74 characters (32 data
// bytes) fails about one attempt in two: a lost byte leaves the monitor
// waiting for the rest, silent until the CR check, a flipped one draws a "?".
// A monitor that answers anything but "*" may mean it: after twelve such
// answers the record fails, within about 4 s (0.3 s an attempt) for a monitor
// that refuses it every time, and 336 records then fail one upload in 200 on
// that line. Silence is the line's alone: up to 24 attempts in all, which
// leave about one record in four million unsent.
constexpr int RefusedRecordAttempts = 12;
constexpr int RecordAttempts = 24;
// An erase answer spoiled on the line is met by the same erase: repeating
// one is harmless.
constexpr int EraseAttempts = 4;

// Program file: erase, programming mode and the S-records, each acknowledged,
// in the dialect of the monitor's prompt tag; none (an unknown tag) sends nothing.
StepResult SendProgramFile(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &program,
                           const BootDialect *dialect);
