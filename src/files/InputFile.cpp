#include "InputFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

Checked<InputFile> ReadInputFile(const QString &kind, const QString &path) {
  using Read = Checked<InputFile>;
  QFile file(path);
  const QString shown = QDir::toNativeSeparators(path);
  if (!file.open(QIODevice::ReadOnly))
    return Read::Refused(QStringLiteral("%1 %2 cannot be opened: %3.").arg(kind, shown, file.errorString()));
  InputFile input{path, file.readAll(), {}, 0};
  if (file.error() != QFileDevice::NoError)
    return Read::Refused(QStringLiteral("%1 %2: the file could not be read.").arg(kind, shown));
  input.Sha256 = QString::fromLatin1(QCryptographicHash::hash(input.Bytes, QCryptographicHash::Sha256).toHex());
  InputReader counting(input);
  input.Lines = CountLines(counting.Fields());
  return {std::move(input), {}};
}

InputReader::InputReader(const InputFile &file) : bytes_(file.Bytes), buffer_(&bytes_) {
  buffer_.open(QIODevice::ReadOnly);
  reader_.Open(buffer_);
}
