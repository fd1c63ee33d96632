#include "ScriptedHost.h"

#include <QThread>

void ScriptedHost::SetStep(Step step) {
  const QString caption = StepCaption(step);
  Caption = caption;
  Events << "caption " + caption;
  if (OnCaption) OnCaption(caption);
}

void ScriptedHost::SetProgressMin(int v) {
  Progress.SetMin(v);
  Events << QString("min %1").arg(v);
}

void ScriptedHost::SetProgressMax(int v) {
  Progress.SetMax(v);
  Events << QString("max %1").arg(v);
}

void ScriptedHost::SetProgressValue(int v) {
  Progress.SetValue(v);
  Events << QString("value %1").arg(Progress.Value);
}

void ScriptedHost::Wait(double seconds) {
  Events << QString("wait %1").arg(seconds);
  WaitedSeconds += seconds;
  if (SleepOnWait && seconds > 0) QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
}

QStringList ScriptedHost::EventsStartingWith(const QString &prefix) const {
  QStringList out;
  for (const QString &e : Events)
    if (e.startsWith(prefix)) out << e;
  return out;
}

void ScriptedHost::Message(const QString &text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
  Messages << shown;
  if (OnMessage) OnMessage(shown);
}

PromptAnswer ScriptedHost::Prompt(PromptKind kind, const QString &text, bool /*again*/) {
  Message(text);
  return OnPrompt ? OnPrompt(kind) : PromptAnswer::Continue;
}

PromptAnswer ScriptedHost::ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &staysBlank) {
  ++RestoreDialogsShown;
  StaysBlank = staysBlank;
  IdWindowTexts texts;
  for (int i = 0; i < IdWindowCount; ++i) texts[i] = rows[i].Value;
  if (!OnRestoreDialog || OnRestoreDialog(texts)) write(texts);
  return PromptAnswer::Continue;
}

InputFile ListOf(const ScriptedHost &host) {
  return ReadInputFile(ParameterListKind(), host.ParameterPath).Value.value_or(InputFile{host.ParameterPath, {}, {}, 1});
}

InputFile ProgramOf(const ScriptedHost &host) {
  return ReadInputFile(ProgramFileKind(), host.ProgramPath).Value.value_or(InputFile{host.ProgramPath, {}, {}, 1});
}
