#include "WineHands.h"

#include <QDir>
#include <QFile>

namespace sim {

QString WindowsPath(QString unixPath) { return "Z:" + unixPath.replace(QLatin1Char('/'), QLatin1Char('\\')); }

namespace {

bool WriteText(const QString &path, const QString &text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

}  // namespace

QString WriteWineHands(const QString &folder, const QString &simProgram, const QString &socket) {
  const QDir dir(folder);
  const QString done = dir.filePath("hands.done");
  const QString shell = dir.filePath("hands.sh");
  WriteText(shell, QStringLiteral("#!/bin/sh\n'%1' ctl '%2' \"$1\"\necho $? >'%3.new' && mv '%3.new' '%3'\n")
                       .arg(simProgram, socket, done));
  QFile::setPermissions(shell, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QString windowsDone = WindowsPath(done);
  const QString batch = dir.filePath("hands.cmd");
  WriteText(batch, "@echo off\r\nif exist " + windowsDone + " del " + windowsDone + "\r\nstart /unix " + shell +
                       " %1\r\n:wait\r\nif not exist " + windowsDone + " goto wait\r\nset /p status=<" + windowsDone +
                       "\r\nexit /b %status%\r\n");
  return "cmd /c " + WindowsPath(batch);
}

}  // namespace sim
