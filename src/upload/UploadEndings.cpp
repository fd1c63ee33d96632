// How an upload ends short of success: each ending's message says what the
// controller needs and the one way on; the journal gets its words.
#include "UploadRun.h"

#include "KeptBackups.h"
#include "UploadTexts.h"

namespace {

const QString CR = QStringLiteral("\r");

bool HoldsValues(const QString &path) {
  return !path.isEmpty() && ReadBackupFile(path);
}

// The backup a finish of this run writes back: the one it went on with, else its own.
QString ValuesForFinish(const Upload &up) {
  if (!up.valuesFrom.isEmpty()) return up.valuesFrom;
  return HoldsValues(up.backupFiles.Own) ? up.backupFiles.Own : QString();
}

// After the host's reason for ending: the state it left and the way on.
QString HostEndingState(Upload &up) {
  if (RemainsNow(up) == Remains::Everything) return CR + NothingChangedStopText();
  const QString tail = up.backupFiles.Written.isEmpty() ? QString() : InterruptionTail(up.folder);
  return tail + WayOn(up);
}

}  // namespace

Upload::Upload(Session &s, const FinishRequest *request)
    : session(s), host(s.Host), port(s.Host.Port()), progress(s.Host), folder(s.Folder), finish(request),
      kind(request ? request->Attempt.Kind : s.Host.UploadMode()), checkErrors(s.Host.CheckErrors()) {
  if (request) last = request->Attempt.LastCompleted;
}

QString NotAnswering(UploadHost &host) { return NotAnsweringText(host.PortName()); }

Remains RemainsNow(const Upload &up) { return RemainsAfter(up.kind, up.last); }

QString WayOn(Upload &up) {
  const QString needs = NeedsText(up.kind, RemainsNow(up));
  if (needs.isEmpty()) return {};
  return CR + needs + CR + up.host.FinishHint(ValuesForFinish(up));
}

UploadResult HostEnded(Upload &up) {
  if (up.endedByHost) return UploadResult::Interrupted;
  up.endedByHost = true;
  const QString why = up.host.HostEndingText();
  if (!why.isEmpty()) up.session.Say(why + HostEndingState(up));
  return UploadResult::Interrupted;
}

UploadResult EndSaying(Upload &up, const QString &text, const QString &ending) {
  if (up.port.Stopped()) return HostEnded(up);
  if (up.ending.isEmpty()) up.ending = ending;
  up.record.ClearFlag(true);
  up.session.Say(text);
  return UploadResult::Interrupted;
}

UploadResult EndWithMessage(Upload &up, const QString &text, const QString &ending) {
  if (up.port.Stopped()) return HostEnded(up);
  return EndSaying(up, text + WayOn(up), ending);
}

UploadResult Succeeded(Upload &up, const QString &text) {
  if (up.port.Stopped()) return HostEnded(up);
  up.session.Report(text);
  return UploadResult::Uploaded;
}

UploadResult AbortUpload(Upload &up, const QString &step) {
  const QString &detail = up.record.Detail;
  return EndWithMessage(up, InterruptionText(step, up.folder) + (detail.isEmpty() ? QString() : CR + detail),
                        "interrupted at " + step);
}

// The journal gives the reason the step returned (its first line), never a
// message read back.
QString EndingFor(const QString &reason) { return "interrupted: " + reason.section('\r', 0, 0); }

// The adapter went away: nothing more can reach the controller, so the
// sequence ends here rather than running into one time-out after another.
// A stop signal ends it too, the host having said why.
Ending LinkEnded(Upload &up) {
  if (up.port.Stopped()) return HostEnded(up);
  if (!up.port.Lost()) return std::nullopt;
  const QString why = up.comebackEnd.isEmpty() ? QString() : CR + up.comebackEnd;
  EndWithMessage(up, "The connection to " + up.host.PortName() + " was lost." + why + InterruptionTail(up.folder),
                 "connection lost");
  return UploadResult::ConnectionLost;
}

Ending TestPoint(Upload &up, const StepResult &result, const QString &step) {
  up.record.Take(result);
  if (result.End != StepEnd::Done && result.End != StepEnd::Failed) return LinkEnded(up);
  if (!result.Failed() || !up.checkErrors) return std::nullopt;
  return AbortUpload(up, step);
}
