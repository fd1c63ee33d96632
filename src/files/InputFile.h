#pragma once
// An input file (the parameter list, the program file) read once, whole, at
// the start: every check, count and pass, and the journal's checksum, take
// these bytes, so what is sent is what was checked, however the file on disk
// changes meanwhile (a synced network folder, an editor saving).

#include "FieldReader.h"
#include "Verdict.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <memory>

struct InputFile {
  QString Path;      // as chosen
  QByteArray Bytes;  // as read
  QString Sha256;    // lower-case hex, as sha256sum prints it
  qint64 Lines = 0;  // as the transfers count them: at least one
};

// Reads `path` whole; when it cannot be read, why: "<kind> <path> cannot be
// opened: <reason>." or "<kind> <path>: the file could not be read."
Checked<InputFile> ReadInputFile(const QString &kind, const QString &path);

// The file's fields and lines, read from its bytes; as many as needed, one after another.
class InputReader {
 public:
  explicit InputReader(const InputFile &file);
  FieldReader &Fields() { return reader_; }

 private:
  QByteArray bytes_;  // shared with the file: Qt copies on write only
  QBuffer buffer_;
  FieldReader reader_;
};

// "Parameter list", "Program file": how the checks' messages name them.
inline QString ParameterListKind() { return QStringLiteral("Parameter list"); }
inline QString ProgramFileKind() { return QStringLiteral("Program file"); }
