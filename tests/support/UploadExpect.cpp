#include "UploadExpect.h"

#include "IdWindows.h"
#include "UploadTexts.h"

#include <QDir>

namespace expect {

QByteArray SmallList(qint64 crc) { return ParameterList("&H0400", {{2, 1500}, {1, 200}}, crc); }

QString BackupPath(const QString &workDir) {
  // getcwd() resolves links, so compare against the resolved directory.
  return QDir(workDir).canonicalPath() + "/tmpLogWin.txt";
}

QString Interruption(const QString &workDir, const QString &step) {
  return texts::ErrorDuring(step) + "\n" + texts::Interrupts + "\n" + texts::RescueFrom(BackupPath(workDir));
}

QString OwnBackupIn(const QString &workDir) {
  const QDir dir(QDir(workDir).canonicalPath());
  const QStringList own = dir.entryList({"backup-*.txt"}, QDir::Files);
  return own.size() == 1 ? dir.filePath(own.first()) : QString();
}

QString FinishInWindow(const QString &valuesFrom) {
  return "To finish it, start the upload again on this port: it offers to finish it, writing back the "
         "identification values of " + valuesFrom + ".";
}

QString RescueInWindow(const QString &backup) {
  return "To finish it, choose \"Upload Parameter List and Program File\" and start the upload again: it offers to "
         "write back the identification values of " + backup + ".";
}

Remains RemainsAt(const QString &step) {
  if (step == "saving parameters") return Remains::Everything;
  if (step == "Programming Controller") return Remains::Program;
  if (step == "Locking controller") return Remains::Lock;
  return Remains::Parameters;  // the monitor, the CRC, the list
}

QString WayOn(const QString &workDir, bool full, Remains remains) {
  const QString needs = NeedsText(full ? UploadKind::Full : UploadKind::ParameterList, remains);
  if (needs.isEmpty()) return {};
  return "\n" + needs + "\n" + FinishInWindow(OwnBackupIn(workDir));
}

QString Success(const QString &success, int ignoredFailures) {
  if (ignoredFailures == 0) return success;
  return success + QStringLiteral("\n%1 failure(s) were ignored because Check Errors is off.").arg(ignoredFailures);
}

int Count(const QStringList &messages, const QString &text) { return int(messages.count(text)); }

bool AnyStartsWith(const QStringList &messages, const QString &prefix) {
  for (const QString &m : messages)
    if (m.startsWith(prefix)) return true;
  return false;
}

QList<int> IdentificationWindowNumbers() { return {310, 311, 319, 320, 321, 322, 323, 324, 325}; }

std::map<int, QByteArray> IdentificationOf(const sim::SimulatedController &controller) {
  std::map<int, QByteArray> values;
  for (int w : IdentificationWindowNumbers()) values[w] = controller.Window(w);
  return values;
}

QByteArray BackupFileOf(const std::map<int, QByteArray> &values) {
  QByteArray text;
  const QList<int> windows = IdentificationWindowNumbers();
  for (int r = 0; r < windows.size(); ++r)
    text += QByteArray(IdWindowLabels[r]) + "\t\t" + values.at(windows[r]) + "\r\n";
  return text;
}

QList<WindowRequest> WindowRequestsOf(const sim::SimulatedController &controller) {
  QList<WindowRequest> out;
  for (const QByteArray &frame : controller.WindowRequests()) {
    if (frame.size() < 9) continue;
    WindowRequest r;
    r.Window = frame.mid(2, 3).toInt();
    r.Write = frame[5] == '1';
    r.Data = frame.mid(6, frame.size() - 9);
    out << r;
  }
  return out;
}

QList<int> WrittenWindows(const sim::SimulatedController &controller) {
  QList<int> out;
  for (const WindowRequest &r : WindowRequestsOf(controller))
    if (r.Write) out << r.Window;
  return out;
}

int ReadsOf(const sim::SimulatedController &controller, int window) {
  int n = 0;
  for (const WindowRequest &r : WindowRequestsOf(controller))
    if (!r.Write && r.Window == window) ++n;
  return n;
}

int MonitorCommandCount(const sim::SimulatedController &controller, const QByteArray &prefix, int length) {
  int n = 0;
  for (const QByteArray &c : controller.MonitorCommands())
    if (c.startsWith(prefix) && (length < 0 || c.size() == length)) ++n;
  return n;
}

}  // namespace expect
