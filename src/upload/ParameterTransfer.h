#pragma once

#include "FailureRecord.h"
#include "InputFile.h"
#include "ParameterComparison.h"
#include "SerialPort.h"
#include "StepProgress.h"

#include <QByteArray>
#include <QString>

// Parameter list: written byte by byte through the monitor, then read back.
StepResult SendParameterList(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &list);
StepResult VerifyParameterList(SerialPort &port, StepProgress &progress, bool checkErrors, const InputFile &list);

// Reads back every byte an upload of the list would write, at the addresses
// it would write them, and compares record by record; writes nothing. Ends
// early (Complete false) when the line is lost.
ParameterComparison CompareParameterList(SerialPort &port, StepProgress &progress, const InputFile &list);

// One byte read back through the monitor ("R", the address, CR): the byte,
// or -1 when the reply (kept in *reply) holds none.
int ReadBackAt(SerialPort &port, quint16 address, QByteArray *reply);
