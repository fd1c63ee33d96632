#include "UploadSummary.h"

#include "FieldReader.h"
#include "ParameterList.h"
#include "SimulatedController.h"

#include <QFile>
#include <QStringList>

namespace {

const int IdentificationWindowNumbers[] = {310, 311, 319, 320, 321, 322, 323, 324, 325};

// The bytes the data records (S1, S2, S3) of a program file put into flash.
std::map<quint32, quint8> FlashImageOf(const QString &programFile) {
  std::map<quint32, quint8> image;
  QFile file(programFile);
  if (!file.open(QIODevice::ReadOnly)) return image;
  while (!file.atEnd()) {
    const QByteArray line = file.readLine().trimmed();
    if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') continue;
    const int addressBytes = line[1] - '0' + 1;
    const QByteArray bytes = QByteArray::fromHex(line.mid(2));  // count, address, data, checksum
    quint32 address = 0;
    for (int i = 1; i <= addressBytes && i < bytes.size(); ++i) address = (address << 8) | quint8(bytes[i]);
    for (int i = 1 + addressBytes; i < bytes.size() - 1; ++i) image[address++] = quint8(bytes[i]);
  }
  return image;
}

struct ParameterTally {
  int Total = 0;     // records of size 1, 2 or 4
  int Matching = 0;  // whose bytes the controller holds
};

// Walks the list as the transfer does and looks up every parameter's bytes in
// the controller's memory.
ParameterTally TallyParameters(const QString &parameterList, const std::map<quint16, quint8> &memory) {
  ParameterTally tally;
  FieldReader reader;
  if (!reader.Open(parameterList, nullptr)) return tally;
  bool held = false;  // every byte of the current parameter so far
  ParameterWalk walk;
  walk.OnRecord = [&](const RecordFields &, const ParameterRecord &record) {
    held = !RecordBytes(record).isEmpty();
    tally.Total += held ? 1 : 0;
    tally.Matching += held ? 1 : 0;
    return true;
  };
  walk.OnByte = [&](quint16 address, quint8 byte, const ParameterRecord &) {
    const auto it = memory.find(address);
    if (held && (it == memory.end() || it->second != byte)) {
      held = false;
      --tally.Matching;
    }
    return true;
  };
  WalkParameterList(reader, walk);
  return tally;
}

template <typename Key>
int Matching(const std::map<Key, quint8> &expected, const std::map<Key, quint8> &held) {
  int matching = 0;
  for (const auto &[address, byte] : expected) {
    const auto it = held.find(address);
    if (it != held.end() && it->second == byte) ++matching;
  }
  return matching;
}

QString YesNo(bool yes) { return yes ? QStringLiteral("yes") : QStringLiteral("NO"); }

}  // namespace

std::map<int, QByteArray> IdentificationWindows(const sim::SimulatedController &controller) {
  std::map<int, QByteArray> windows;
  for (int w : IdentificationWindowNumbers) windows[w] = controller.Window(w);
  return windows;
}

UploadSummary Summarise(const sim::SimulatedController &controller, const ExampleFiles &files, bool fullMode,
                        const std::map<int, QByteArray> &windowsBefore, UploadResult result) {
  UploadSummary s;
  s.FullMode = fullMode;
  s.Result = result;
  if (fullMode) {
    const auto image = FlashImageOf(files.ProgramFile);
    const auto flash = controller.Flash();
    s.FlashBytesExpected = int(image.size());
    s.FlashBytesMatching = Matching(image, flash);
    s.FlashBytesHeld = int(flash.size());
  }
  const auto parameterBytes = ParameterByteMap(files.ParameterList, nullptr);
  const auto memory = controller.ParameterMemory();
  const ParameterTally tally = TallyParameters(files.ParameterList, memory);
  s.Parameters = tally.Total;
  s.ParametersMatching = tally.Matching;
  s.ParameterBytesExpected = int(parameterBytes.size());
  s.ParameterBytesMatching = Matching(parameterBytes, memory);
  const auto windowsAfter = IdentificationWindows(controller);
  s.WindowCount = int(windowsBefore.size());
  for (const auto &[w, value] : windowsBefore) s.WindowsRestored += windowsAfter.at(w) == value ? 1 : 0;
  s.Locked = controller.Locked();
  s.Crc = controller.LastCrc();
  return s;
}

QString SummaryText(const UploadSummary &s) {
  QStringList lines;
  lines << QStringLiteral("Summary");
  lines << QStringLiteral("  the upload ended:        %1").arg(ResultWords(s.Result));
  if (s.FullMode)
    lines << QStringLiteral("  flash bytes programmed:  %1 of %2 equal to the program file (%3 held)")
                 .arg(s.FlashBytesMatching).arg(s.FlashBytesExpected).arg(s.FlashBytesHeld);
  lines << QStringLiteral("  parameters written:      %1 of %2 (%3 of %4 bytes equal to the list)")
               .arg(s.ParametersMatching).arg(s.Parameters).arg(s.ParameterBytesMatching).arg(s.ParameterBytesExpected);
  lines << QStringLiteral("  CRC handed to monitor:   %1")
               .arg(s.Crc ? QString::number(*s.Crc) : QStringLiteral("none"));
  lines << QStringLiteral("  windows restored:        %1 of %2").arg(s.WindowsRestored).arg(s.WindowCount);
  lines << QStringLiteral("  controller locked:       %1").arg(YesNo(s.Locked));
  return lines.join('\n');
}
