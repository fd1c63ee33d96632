#pragma once
// The CRC a parameter list carries and the pre-flight check of the whole
// file, both with messages that name the file, the line and the fault.

#include "InputFile.h"

#include <QString>
#include <QtGlobal>

// The driver's CRC reading: reads three lines and keeps the third,
// finds its first "," from the third character on, and reads the text after
// it to the end of the line as a whole decimal number, blanks around it
// ignored, 32-bit signed. On failure returns false and sets *error to a
// message naming the file and the line.
bool ReadParameterCrc(const InputFile &list, qint32 &crc, QString *error);
bool ReadParameterCrc(const QString &path, qint32 &crc, QString *error);  // the file read first

// The pre-flight check of a parameter list, reading the whole file without
// touching the port. Returns true when the file is fit for the transfer;
// otherwise false, with *message naming the file, the line and the fault. See
// ParameterListCheck.cpp for the full list of what is refused.
bool CheckParameterList(const InputFile &list, bool parameterOnlyMode, QString *message);
bool CheckParameterList(const QString &path, bool parameterOnlyMode, QString *message);  // the file read first
