#pragma once
// The CRC a parameter list carries and the pre-flight check of the whole
// file, both with messages that name the file, the line and the fault.

#include "InputFile.h"

#include <QString>
#include <QtGlobal>

// The driver's CRC reading: reads three lines and keeps the third,
// finds its first "," from the third character on, and reads the text after
// it to the end of the line as a whole decimal number, blanks around it
// ignored, 32-bit signed. Otherwise why, naming the file and the line.
Checked<qint32> ReadParameterCrc(const InputFile &list);
Checked<qint32> ReadParameterCrc(const QString &path);  // the file read first

// The pre-flight check of a parameter list, reading the whole file without
// touching the port: Ok when the file is fit for the transfer, otherwise why,
// naming the file, the line and the fault. See ParameterListCheck.cpp for the
// full list of what is refused.
Verdict CheckParameterList(const InputFile &list, bool parameterOnlyMode);
Verdict CheckParameterList(const QString &path, bool parameterOnlyMode);  // the file read first
