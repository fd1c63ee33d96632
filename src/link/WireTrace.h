#pragma once
// The wire trace: every read and write on the port, with markers for what the
// technician saw and answered, one line each, written through at once so that
// a crash keeps everything traced so far. The format is in the README
// ("Wire trace").

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

class WireTrace {
 public:
  // Appends to `path`; false with the reason when the file cannot be opened.
  bool Open(const QString &path, const QString &heading, QString *error);
  void Close();
  bool IsOpen() const { return file_.isOpen(); }

  // direction: 'W' written, 'R' read, 'D' received but discarded unread.
  void Bytes(char direction, const QByteArray &bytes);
  // kind: STEP, MSG, ANS, LOST; CR and LF in the text are written as \r, \n.
  void Note(const char *kind, const QString &text);

 private:
  void Line(const QByteArray &line);

  QFile file_;
  QElapsedTimer clock_;
};
