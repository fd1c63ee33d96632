#include "SRecord.h"

namespace sim {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int SRecordAddressBytes(int type) {
  switch (type) {
    case 0: case 1: case 5: case 9: return 2;
    case 2: case 6: case 8: return 3;
    case 3: case 7: return 4;
    default: return -1;
  }
}

int SRecordLength(const QByteArray &partial) {
  if (partial.isEmpty() || partial[0] != 'S') return -1;
  if (partial.size() >= 2) {
    const int type = HexValue(partial[1]);
    if (type < 0 || type > 9 || SRecordAddressBytes(type) < 0) return -1;
  }
  for (int i = 2; i < partial.size(); ++i)
    if (HexValue(partial[i]) < 0) return -1;
  if (partial.size() < 4) return 0;
  const int count = HexValue(partial[2]) * 16 + HexValue(partial[3]);
  if (count < SRecordAddressBytes(HexValue(partial[1])) + 1) return -1;
  return 4 + 2 * count;
}

std::optional<SRecord> ParseSRecord(const QByteArray &line) {
  const int length = SRecordLength(line);
  if (length <= 0 || line.size() != length) return std::nullopt;
  QByteArray bytes;  // count, address, data, checksum
  for (int i = 2; i < line.size(); i += 2)
    bytes.append(char(HexValue(line[i]) * 16 + HexValue(line[i + 1])));
  quint8 sum = 0;
  for (char b : bytes) sum += quint8(b);
  if (sum != 0xFF) return std::nullopt;

  SRecord record;
  record.Type = line[1] - '0';
  const int addressBytes = SRecordAddressBytes(record.Type);
  for (int i = 1; i <= addressBytes; ++i) record.Address = (record.Address << 8) | quint8(bytes[i]);
  record.Data = bytes.mid(1 + addressBytes, bytes.size() - 2 - addressBytes);
  return record;
}

bool SRecordSpans::Take(char c) {
  if (line_.isEmpty()) {
    if (c == 'S') line_ = "S";
    return !line_.isEmpty();
  }
  if (c == '\r') {
    line_.clear();
    return false;
  }
  line_.append(c);
  const int length = SRecordLength(line_);
  if (length < 0) {  // not a record after all
    line_.clear();
    return false;
  }
  if (length > 0 && line_.size() == length) line_.clear();
  return true;
}

}  // namespace sim
