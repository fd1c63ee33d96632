#include "ExaminationJournal.h"

#include "JournalLine.h"
#include "SerialPort.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

namespace {

QString ReadValue(const IdBackup *rows, int row) {
  if (!rows || (*rows)[row].ReadFailed) return {};
  return QString::fromLatin1((*rows)[row].Value);
}

}  // namespace

JournalEntry ExaminationEntry(UploadHost &host, const ExaminationNote &note) {
  JournalEntry entry;
  entry.Started = note.Started;
  entry.Ended = QDateTime::currentDateTime();
  entry.Program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  entry.Version = QCoreApplication::applicationVersion();
  entry.User = JournalUserName();
  entry.Host = QSysInfo::machineHostName();
  entry.Mode = note.Mode;
  entry.CheckErrors = host.CheckErrors();
  // As for an upload: a port given by its path has no number.
  entry.PortNumber = host.PortGivenByPath() ? 0 : host.ComPort();
  entry.Device = host.JournalDevice();
  entry.ControllerPartNumber = ReadValue(note.Rows, 2);
  entry.ControllerSerialNumber = ReadValue(note.Rows, 6);
  if (note.ParameterListUsed) {
    entry.ParameterList = QDir::toNativeSeparators(QFileInfo(host.ParameterFile()).absoluteFilePath());
    entry.ParameterListSha256 = FileSha256(host.ParameterFile());
  }
  entry.Outcome = note.Outcome;
  return entry;
}
