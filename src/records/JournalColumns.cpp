#include "JournalColumns.h"

#include <cstdlib>

namespace {

QString WithOffset(const QDateTime &time) {
  if (!time.isValid()) return {};
  const int offset = time.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QStringLiteral("%1%2:%3")
             .arg(offset < 0 ? '-' : '+')
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QDateTime FromOffsetTime(const QString &text) { return QDateTime::fromString(text, Qt::ISODate); }

}  // namespace

QStringList JournalHeader() {
  return {"Started",        "Ended",          "Program",        "Version",
          "User",           "Host",           "Mode",           "Check Errors",
          "Port",           "Device",         "Controller P/N", "Controller S/N",
          "Parameter list", "Parameter list SHA-256", "Program file", "Program file SHA-256",
          "Outcome",        "Failures let pass", "Backup",   "Last stage completed",
          "Own backup",     "Exchanges repeated", "Records sent again"};
}

bool IsJournalHeader(const QStringList &fields) {
  const QStringList current = JournalHeader();
  for (int width : JournalWidths)
    if (fields.size() == width && fields == current.mid(0, width)) return true;
  return false;
}

bool IsWholeJournalLine(qsizetype fieldCount, qsizetype headerWidth) {
  if (fieldCount == headerWidth) return true;
  for (int width : JournalWidths)
    if (fieldCount == width && width > headerWidth) return true;
  return false;
}

JournalEntry JournalEntryOf(const QStringList &header, const QStringList &fields) {
  // A line of a later version than its header holds the columns in this version's order.
  const QStringList titles = fields.size() > header.size() ? JournalHeader() : header;
  const auto at = [&](const char *title) { return fields.value(titles.indexOf(QString::fromLatin1(title))); };
  JournalEntry e;
  e.Started = FromOffsetTime(at("Started"));
  e.Ended = FromOffsetTime(at("Ended"));
  e.Program = at("Program");
  e.Version = at("Version");
  e.User = at("User");
  e.Host = at("Host");
  e.Mode = at("Mode");
  e.CheckErrors = at("Check Errors") != "off";
  e.PortNumber = at("Port").toInt();
  e.Device = at("Device");
  e.ControllerPartNumber = at("Controller P/N");
  e.ControllerSerialNumber = at("Controller S/N");
  e.ParameterList = at("Parameter list");
  e.ParameterListSha256 = at("Parameter list SHA-256");
  e.ProgramFile = at("Program file");
  e.ProgramFileSha256 = at("Program file SHA-256");
  e.Outcome = at("Outcome");
  e.FailuresLetPass = at("Failures let pass").toInt();
  e.Backup = at("Backup");
  e.LastStage = at("Last stage completed");
  e.OwnBackup = at("Own backup");
  e.ExchangesRepeated = at("Exchanges repeated").toInt();
  e.RecordsSentAgain = at("Records sent again").toInt();
  return e;
}

QStringList JournalFields(const JournalEntry &e) {
  return {WithOffset(e.Started),      WithOffset(e.Ended),
          e.Program,                  e.Version,
          e.User,                     e.Host,
          e.Mode,                     e.CheckErrors ? "on" : "off",
          e.PortNumber > 0 ? QString::number(e.PortNumber) : QString(), e.Device,
          e.ControllerPartNumber,     e.ControllerSerialNumber,
          e.ParameterList,            e.ParameterListSha256,
          e.ProgramFile,              e.ProgramFileSha256,
          e.Outcome,                  QString::number(e.FailuresLetPass),
          e.Backup,                   e.LastStage,
          e.OwnBackup,                QString::number(e.ExchangesRepeated),
          QString::number(e.RecordsSentAgain)};
}
