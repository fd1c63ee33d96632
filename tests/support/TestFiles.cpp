#include "TestFiles.h"

#include <QFile>

QByteArray SRecord(int type, quint32 address, const QByteArray &data) {
  const int addressBytes = (type == 2 || type == 8) ? 3 : (type == 3 || type == 7) ? 4 : 2;
  QByteArray body;
  body += char(addressBytes + data.size() + 1);
  for (int i = addressBytes - 1; i >= 0; --i) body += char((address >> (8 * i)) & 0xFF);
  body += data;
  quint8 sum = 0;
  for (char c : body) sum += quint8(c);
  body += char(~sum);
  return "S" + QByteArray::number(type) + body.toHex().toUpper();
}

QByteArray ProgramFile(int dataRecords) {
  QByteArray file = SRecord(0, 0, "calvenori") + "\r\n";
  for (int i = 0; i < dataRecords; ++i) {
    QByteArray data;
    for (int b = 0; b < 16; ++b) data += char((i * 16 + b) * 7 + 3);
    file += SRecord(1, 0x8000 + 16 * i, data) + "\r\n";
  }
  return file + SRecord(9, 0x8000, {}) + "\r\n";
}

std::map<quint32, quint8> FlashImageOf(const QByteArray &programFile) {
  std::map<quint32, quint8> image;
  for (QByteArray line : programFile.split('\n')) {
    line = line.trimmed();
    if (line.size() < 4 || line[0] != 'S') continue;
    const int type = line[1] - '0';
    const int addressBytes = type == 1 ? 2 : type == 2 ? 3 : type == 3 ? 4 : 0;
    if (addressBytes == 0) continue;
    const QByteArray bytes = QByteArray::fromHex(line.mid(2));
    quint32 address = 0;
    for (int i = 0; i < addressBytes; ++i) address = (address << 8) | quint8(bytes[1 + i]);
    for (int i = 1 + addressBytes; i < bytes.size() - 1; ++i) image[address++] = quint8(bytes[i]);
  }
  return image;
}

QByteArray ParameterList(const QByteArray &start, const QList<Param> &params, qint64 crc) {
  // Six header fields after the start address: two records that send nothing.
  QByteArray file = start + ",Pump list,P-77\r\n";
  file += "Release,V3\r\n";
  file += "CRC," + QByteArray::number(crc) + "\r\n";
  int n = 0;
  for (const Param &p : params)
    file += QByteArray::number(p.Size) + ",Param " + QByteArray::number(++n) + "," + QByteArray::number(p.Value) + "\r\n";
  return file;
}

QString WriteTestFile(const QString &dir, const QString &name, const QByteArray &content) {
  const QString path = dir + "/" + name;
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(content);
  return path;
}
