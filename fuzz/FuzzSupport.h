#pragma once
// What the fuzz targets share: a broken invariant aborts (libFuzzer then keeps
// the input), the checks get the input through a file (their messages name
// it; the reader itself reads from memory), and the lines of an input are
// split here independently of the reader under test.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition,      \
                   __FILE__, __LINE__);                                        \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

// Writes the bytes to one file per process, in a directory under the temporary
// path (scripts/fuzz.sh points TMPDIR at memory), and returns its path. The
// directory goes when the process exits normally; a crash leaves it behind.
inline QString WriteFuzzFile(const QByteArray &bytes, const char *name) {
  static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/calvenori-fuzz-XXXXXX"));
  FUZZ_CHECK(dir.isValid());
  const QString path = dir.filePath(QString::fromLatin1(name));
  QFile file(path);
  FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  FUZZ_CHECK(file.write(bytes) == bytes.size());
  return path;
}

// The lines of a file: CR LF, LF and CR each end one; a line end at the very
// end starts no further line; an empty input has no line.
inline QList<QByteArray> SplitLines(const QByteArray &bytes) {
  QList<QByteArray> lines;
  QByteArray line;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    lines.append(line);
    line.clear();
  }
  if (!line.isEmpty()) lines.append(line);
  return lines;
}

// The reader's counting pass makes at least one read, so an empty file counts 1.
inline qint64 CountedLines(const QByteArray &bytes) {
  return qMax<qint64>(1, SplitLines(bytes).size());
}
