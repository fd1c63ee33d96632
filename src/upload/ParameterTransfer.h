#pragma once

#include "FailureRecord.h"
#include "ParameterComparison.h"
#include "StepHost.h"

#include <QByteArray>
#include <QString>

// Parameter list: written byte by byte through the monitor, then read back.
StepOutcome SendParameterList(StepHost &host, FailureRecord &record);
StepOutcome VerifyParameterList(StepHost &host, FailureRecord &record);

// Reads back every byte an upload of the list would write, at the addresses
// it would write them, and compares record by record; writes nothing. Ends
// early (Complete false) when the list cannot be opened or the line is lost.
ParameterComparison CompareParameterList(StepHost &host);

// One byte read back through the monitor ("R", the address, CR): the byte,
// or -1 when the reply (kept in *reply) holds none.
int ReadBackAt(SerialPort &port, quint16 address, QByteArray *reply);
