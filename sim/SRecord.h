#pragma once
// Motorola S-record lines as the boot monitor receives them: 'S', a type
// digit, two hex digits of byte count, then count bytes as hex pairs (address,
// data, checksum). No terminator follows a record on the line.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace sim {

struct SRecord {
  int Type = 0;         // 0..9
  quint32 Address = 0;  // 16 bits for S1/S5/S9, 24 for S2/S6/S8, 32 for S3/S7
  QByteArray Data;      // the bytes after the address
};

// Total length in characters of the record that `partial` (starting with 'S')
// begins: 0 while not yet known, -1 when the characters so far cannot begin a
// record.
int SRecordLength(const QByteArray &partial);

// The record in `line` when it is complete, well formed and its checksum is
// right (the ones' complement of the byte sum from the count on).
std::optional<SRecord> ParseSRecord(const QByteArray &line);

// Follows the S-records in a stream of characters (what the tool sends to the
// boot monitor) and tells of each character whether it belongs to one: from
// its 'S' to its last checksum digit, or to a CR that cuts it short.
class SRecordSpans {
 public:
  bool Take(char c);
  void Reset() { line_.clear(); }

 private:
  QByteArray line_;  // the record so far
};

// Number of address bytes of a record type (S0, S1, S5, S9: 2; S2, S6, S8: 3;
// S3, S7: 4; S4: -1, reserved).
int SRecordAddressBytes(int type);

}  // namespace sim
