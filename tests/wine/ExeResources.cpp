#include "ExeResources.h"

#include <QFile>

#include <map>

namespace {

constexpr quint32 IconGroupType = 14;
constexpr quint32 VersionType = 16;

// Little-endian reads that yield 0 past the end, so a cut file fails a later
// check instead of reading out of bounds.
quint32 Read(const QByteArray &b, qint64 at, int width) {
  if (at < 0 || at + width > b.size()) return 0;
  quint32 value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | quint8(b[at + i]);
  return value;
}
quint32 U16(const QByteArray &b, qint64 at) { return Read(b, at, 2); }
quint32 U32(const QByteArray &b, qint64 at) { return Read(b, at, 4); }
qint64 Align4(qint64 at) { return (at + 3) & ~qint64(3); }

struct Section {
  quint32 Address, Size, FileOffset;
};

// The first leaf under each numbered type of the resource tree (any name,
// any language), as file offsets and sizes.
void CollectLeaves(const QByteArray &b, qint64 root, qint64 dir, int level, quint32 type,
                   const std::vector<Section> &sections, std::map<quint32, QByteArray> &leaves) {
  const quint32 entries = U16(b, dir + 12) + U16(b, dir + 14);
  for (quint32 i = 0; i < entries && i < 4096; ++i) {
    const qint64 entry = dir + 16 + 8 * i;
    const quint32 name = U32(b, entry);
    const quint32 target = U32(b, entry + 4);
    const quint32 entryType = level == 0 ? name : type;
    if (level == 0 && (name & 0x80000000u)) continue;  // named types are none of Windows' own
    if (target & 0x80000000u) {
      if (level < 2) CollectLeaves(b, root, root + (target & 0x7fffffffu), level + 1, entryType, sections, leaves);
      continue;
    }
    if (leaves.count(entryType)) continue;
    const quint32 rva = U32(b, root + target);
    const quint32 size = U32(b, root + target + 4);
    for (const Section &s : sections)
      if (rva >= s.Address && rva < s.Address + s.Size) leaves[entryType] = b.mid(s.FileOffset + (rva - s.Address), size);
  }
}

// One node of a version resource (key, value, children), strings kept.
void ReadVersionNode(const QByteArray &d, qint64 at, int depth, ExeResources &out) {
  const qint64 end = at + U16(d, at);
  const quint32 valueLength = U16(d, at + 2);
  const bool text = U16(d, at + 4) == 1;
  qint64 p = at + 6;
  QString key;
  for (; p + 1 < end && U16(d, p) != 0; p += 2) key += QChar(char16_t(U16(d, p)));
  p = Align4(p + 2);
  if (depth == 0 && valueLength >= 52 && U32(d, p) == 0xFEEF04BDu) {
    const quint32 high = U32(d, p + 8), low = U32(d, p + 12);
    out.FixedFileVersion = QStringLiteral("%1.%2.%3.%4").arg(high >> 16).arg(high & 0xffff).arg(low >> 16).arg(low & 0xffff);
  }
  if (text && valueLength > 0) {
    QString value;
    for (qint64 q = p; q + 1 < end && U16(d, q) != 0; q += 2) value += QChar(char16_t(U16(d, q)));
    out.Strings.insert(key, value);
  }
  p = Align4(p + (text ? 2 * valueLength : valueLength));
  while (p + 6 <= end && depth < 4) {
    const quint32 length = U16(d, p);
    if (length == 0) break;
    ReadVersionNode(d, p, depth + 1, out);
    p = Align4(p + length);
  }
}

}  // namespace

std::optional<ExeResources> ReadExeResources(const QString &path, QString *error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = path + ": " + file.errorString();
    return std::nullopt;
  }
  const QByteArray b = file.readAll();
  const qint64 pe = U32(b, 0x3c);
  if (!b.startsWith("MZ") || b.mid(pe, 4) != QByteArray("PE\0\0", 4)) {
    *error = path + " is no PE file";
    return std::nullopt;
  }
  const qint64 coff = pe + 4;
  const quint32 sectionCount = U16(b, coff + 2);
  const qint64 optional = coff + 20;
  const bool pe32Plus = U16(b, optional) == 0x20b;
  const qint64 directories = optional + (pe32Plus ? 112 : 96);
  const quint32 resourceRva = U32(b, directories + 2 * 8);
  std::vector<Section> sections;
  const qint64 table = optional + U16(b, coff + 16);
  for (quint32 i = 0; i < sectionCount; ++i) {
    const qint64 s = table + 40 * i;
    sections.push_back({U32(b, s + 12), qMax(U32(b, s + 8), U32(b, s + 16)), U32(b, s + 20)});
  }
  qint64 root = -1;
  for (const Section &s : sections)
    if (resourceRva != 0 && resourceRva >= s.Address && resourceRva < s.Address + s.Size)
      root = s.FileOffset + (resourceRva - s.Address);
  if (root < 0) {
    *error = path + " has no resources";
    return std::nullopt;
  }
  std::map<quint32, QByteArray> leaves;
  CollectLeaves(b, root, root, 0, 0, sections, leaves);
  ExeResources out;
  out.HasIcon = leaves.count(IconGroupType) && !leaves[IconGroupType].isEmpty();
  if (leaves.count(VersionType)) ReadVersionNode(leaves[VersionType], 0, 0, out);
  return out;
}
