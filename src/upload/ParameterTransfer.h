#pragma once

#include "FailureRecord.h"
#include "InputFile.h"
#include "ParameterComparison.h"
#include "SerialPort.h"
#include "StepProgress.h"

#include <QByteArray>
#include <QString>

// A byte whose write was not answered with a lone CR is written again; one
// that read back wrong or could not be read is read again and, while it
// stays wrong, written and read again, round after round. Writing a byte
// again is harmless. At 1 in 100 an exchange of about 14 characters fails
// about one attempt in seven: four attempts leave about one byte in 2,400
// unwritten; a round (a write and a read) fails about one time in four,
// and eight rounds leave about one byte in 45,000 unmended. Once one byte has used
// all of its attempts (a monitor that refuses, not a line that spoils),
// every later byte gets one, so a list let pass costs no more than before.
// A write whose attempts drew different answers was spoiled by the line: it
// is left to the read-back, which writes it again, and costs the later bytes
// none of their attempts; the same answer every time (silence included) is
// the monitor's and fails as it always did.
constexpr int ByteWriteAttempts = 4;
constexpr int MendRounds = 8;

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
