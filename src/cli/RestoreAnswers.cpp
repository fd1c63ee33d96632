#include "RestoreAnswers.h"

#include "ConsoleText.h"
#include "StopSignals.h"

#include <QFileInfo>

#include <cstring>

namespace {

// A window's value is the controller's bytes, shown as Latin-1 as everywhere
// else; WriteText hands it on as the console or pipe wants it.
void PrintRow(std::FILE *out, const RestoreChoice &choice, int row) {
  const QByteArray &value = choice.Values[row];
  QString line = "  " + QString::fromLatin1(IdWindowLabels[row]).leftJustified(36) + ' ' + QString::fromLatin1(value);
  const bool asRead = value == choice.Rows[row].Value;
  if (choice.Rows[row].ReadFailed && asRead) line += QStringLiteral("  (not read: not written)");
  if (const std::optional<KeptValue> &kept = choice.Kept[row]; kept && asRead)
    line += QStringLiteral("  (read blank; %1 holds %2)")
                .arg(QFileInfo(kept->From.Path).fileName(), QString::fromLatin1(kept->Value));
  WriteText(out, line + '\n');
}

int RowOf(const IdBackup &rows, const QByteArray &window) {
  bool ok = false;
  const int win = window.trimmed().toInt(&ok);
  for (int row = 0; ok && row < IdWindowCount; ++row)
    if (rows[row].Win == win) return row;
  return -1;
}

// Strips the line end only: a value is sent as typed, blanks included.
bool ReadAnswer(std::FILE *in, QByteArray &answer) {
  // A stop signal ends the answers; the host acts on it before writing.
  return ReadLineUnlessStopped(in, answer);
}

}  // namespace

RestoreChoice::RestoreChoice(const IdBackup &rows) : Rows(rows) {
  for (int row = 0; row < IdWindowCount; ++row) Values[row] = rows[row].Value;
}

RestoreChoice::RestoreChoice(const IdBackup &rows, const std::array<QByteArray, IdWindowCount> &values)
    : Rows(rows), Values(values) {}

void ListRestore(std::FILE *out, const RestoreChoice &start, const char *heading) {
  WriteText(out, QString::fromLatin1(heading) + '\n');
  for (int row = 0; row < IdWindowCount; ++row) PrintRow(out, start, row);
  std::fflush(out);
}

RestoreChoice AskRestore(std::FILE *in, std::FILE *out, RestoreChoice start, const char *heading) {
  RestoreChoice choice = std::move(start);
  ListRestore(out, choice, heading);
  WriteText(out, QStringLiteral("Type WIN=VALUE to change a value (322=CS-1), Enter to write them all, "
                                "skip to write none.\n"));
  for (;;) {
    WriteText(out, QStringLiteral("restore> "));
    std::fflush(out);
    QByteArray answer;
    if (!ReadAnswer(in, answer) || answer.trimmed().isEmpty()) break;
    if (answer.trimmed() == "skip") {
      choice.Send = false;
      break;
    }
    const int equals = answer.indexOf('=');
    const int row = equals > 0 ? RowOf(choice.Rows, answer.left(equals)) : -1;
    if (row < 0) {
      WriteText(out, "Not WIN=VALUE for one of the nine windows: " + QString::fromLatin1(answer) + '\n');
      continue;
    }
    choice.Values[row] = answer.mid(equals + 1);
    choice.Changes << QString::fromLatin1(answer);
    PrintRow(out, choice, row);
  }
  std::fflush(out);
  return choice;
}

QString DescribeChoice(const RestoreChoice &choice) {
  if (!choice.Send) return QStringLiteral("cancel");
  QStringList parts{QStringLiteral("send")};
  parts += choice.Changes;
  return parts.join(' ');
}
