#pragma once
// The pre-flight check of a program file, run before the port is
// opened so that a corrupt firmware file is refused before the controller's
// flash is erased. The transfer itself does not interpret records; this is a
// separate pass.

#include "InputFile.h"

#include <QString>

// Reads the whole file line by line (a file of any length; one line held at a
// time): Ok when it is fit for the transfer, otherwise why, naming the file,
// the line and the fault, e.g.
// "Program file /x/fw.s19, line 12: the checksum is 3C but should be 3D."
//
// Accepted: lines ended by CR LF, LF or CR (the last line may lack its line
// end); empty lines, and lines of blanks only (the transfer sends nothing for
// them); S-records S0 to S9 with upper- or lower-case hexadecimal digits.
// Refused:
// - a file that cannot be opened or read, is empty, or holds no S-record;
// - a line that begins with a blank, or holds a comma or a double quote (the
//   transfer reads lines as fields and would send a piece of the line);
// - blanks after a record (they would go to the controller after the
//   checksum);
// - a line that is not an S-record: not "S" and a digit, not pairs of
//   hexadecimal digits, a byte count that does not match the number of bytes
//   on the line, a record too short for the address of its type (S0, S1, S5,
//   S9: 2 bytes; S2, S6, S8: 3; S3, S7: 4), or a wrong checksum (the ones'
//   complement of the sum of count, address and data bytes).
Verdict CheckProgramFile(const InputFile &program);
Verdict CheckProgramFile(const QString &path);  // the file read first
