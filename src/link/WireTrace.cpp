#include "WireTrace.h"

#include <QDateTime>

namespace {

QByteArray Micros(qint64 micros) { return QByteArray::number(micros).rightJustified(10, ' '); }

QByteArray Printable(const QByteArray &bytes) {
  QByteArray text = bytes;
  for (char &c : text)
    if (quint8(c) < 0x20 || quint8(c) > 0x7E) c = '.';
  return text;
}

QByteArray TraceLine(qint64 micros, char direction, const QByteArray &bytes) {
  return Micros(micros) + ' ' + direction + ' ' + bytes.toHex(' ').toUpper() + "  |" + Printable(bytes) + "|\n";
}

}  // namespace

bool WireTrace::Open(const QString &path, const QString &heading, QString *error) {
  Close();
  file_.setFileName(path);
  // Unbuffered: each line reaches the system as it is written.
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
    if (error) *error = path + ": " + file_.errorString();
    return false;
  }
  clock_.start();
  Line("# " + heading.toUtf8() + ", opened " +
       QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + "\n");
  return true;
}

void WireTrace::Close() {
  if (!file_.isOpen()) return;
  Line("# " + Micros(clock_.nsecsElapsed() / 1000).trimmed() + " closed\n");
  file_.close();
}

void WireTrace::Bytes(char direction, const QByteArray &bytes) {
  if (file_.isOpen() && !bytes.isEmpty()) Line(TraceLine(clock_.nsecsElapsed() / 1000, direction, bytes));
}

void WireTrace::Note(const char *kind, const QString &text) {
  if (!file_.isOpen()) return;
  QByteArray escaped = text.toUtf8();
  escaped.replace('\\', "\\\\").replace('\r', "\\r").replace('\n', "\\n");
  Line(Micros(clock_.nsecsElapsed() / 1000) + ' ' + kind + ' ' + escaped + '\n');
}

void WireTrace::Line(const QByteArray &line) { file_.write(line); }
