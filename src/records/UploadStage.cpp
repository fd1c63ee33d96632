#include "UploadStage.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<Stage, const char *>, 12> Names = {{
    {Stage::SaveIdentification, "SaveIdentification"},
    {Stage::BridgeIntoBootMonitor, "BridgeIntoBootMonitor"},
    {Stage::WriteBackup, "WriteBackup"},
    {Stage::ProgramController, "ProgramController"},
    {Stage::RemoveBridge, "RemoveBridge"},
    {Stage::SendFullUploadCrc, "SendFullUploadCrc"},
    {Stage::EnterMonitor, "EnterMonitor"},
    {Stage::SendListCrc, "SendListCrc"},
    {Stage::TransferParameters, "TransferParameters"},
    {Stage::LeaveMonitor, "LeaveMonitor"},
    {Stage::RestoreIdentification, "RestoreIdentification"},
    {Stage::Lock, "Lock"},
}};

}  // namespace

QString StageName(Stage stage) {
  for (const auto &[s, name] : Names)
    if (s == stage) return QString::fromLatin1(name);
  return {};
}

std::optional<Stage> StageNamed(const QString &name) {
  for (const auto &[s, n] : Names)
    if (name == QLatin1String(n)) return s;
  return std::nullopt;
}

QList<Stage> SequenceOf(UploadKind kind) {
  if (kind == UploadKind::Full)
    return {Stage::SaveIdentification, Stage::BridgeIntoBootMonitor, Stage::WriteBackup, Stage::ProgramController,
            Stage::RemoveBridge,       Stage::SendFullUploadCrc,     Stage::TransferParameters, Stage::LeaveMonitor,
            Stage::RestoreIdentification, Stage::Lock};
  return {Stage::SaveIdentification, Stage::WriteBackup,  Stage::EnterMonitor,          Stage::SendListCrc,
          Stage::TransferParameters, Stage::LeaveMonitor, Stage::RestoreIdentification, Stage::Lock};
}

Remains RemainsAfter(UploadKind kind, std::optional<Stage> last) {
  const QList<Stage> sequence = SequenceOf(kind);
  const qsizetype done = last ? sequence.indexOf(*last) : -1;
  if (last && done < 0) return Remains::Everything;  // a stage this sequence has not: nothing known
  if (done + 1 >= sequence.size()) return Remains::Nothing;
  switch (sequence[done + 1]) {
    case Stage::SaveIdentification:
    case Stage::BridgeIntoBootMonitor:
    case Stage::WriteBackup: return Remains::Everything;
    case Stage::ProgramController: return Remains::Program;
    case Stage::RemoveBridge:
    case Stage::SendFullUploadCrc:
    case Stage::TransferParameters:
    case Stage::EnterMonitor:
    case Stage::SendListCrc: return Remains::Parameters;
    case Stage::LeaveMonitor:
    case Stage::RestoreIdentification: return Remains::Restore;
    case Stage::Lock: return Remains::Lock;
  }
  return Remains::Everything;
}

std::optional<Stage> LaterStage(UploadKind kind, std::optional<Stage> a, std::optional<Stage> b) {
  const QList<Stage> sequence = SequenceOf(kind);
  const qsizetype ia = a ? sequence.indexOf(*a) : -1, ib = b ? sequence.indexOf(*b) : -1;
  if (ia < 0 && ib < 0) return std::nullopt;
  return ia >= ib ? a : b;
}
