#include "InputFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

std::optional<InputFile> ReadInputFile(const QString &kind, const QString &path, QString *message) {
  QFile file(path);
  const QString shown = QDir::toNativeSeparators(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (message) *message = QStringLiteral("%1 %2 cannot be opened: %3.").arg(kind, shown, file.errorString());
    return std::nullopt;
  }
  InputFile input{path, file.readAll(), {}, 0};
  if (file.error() != QFileDevice::NoError) {
    if (message) *message = QStringLiteral("%1 %2: the file could not be read.").arg(kind, shown);
    return std::nullopt;
  }
  input.Sha256 = QString::fromLatin1(QCryptographicHash::hash(input.Bytes, QCryptographicHash::Sha256).toHex());
  InputReader counting(input);
  input.Lines = CountLines(counting.Fields());
  return input;
}

InputReader::InputReader(const InputFile &file) : bytes_(file.Bytes), buffer_(&bytes_) {
  buffer_.open(QIODevice::ReadOnly);
  reader_.Open(buffer_);
}
