#pragma once
// The stages of the two upload sequences by name, as an attempt's journal
// line records the last one it completed, and what a controller needs when
// an attempt stopped after it.

#include <QList>
#include <QString>

#include <optional>

// The program file and the parameter list, or the parameter list alone.
enum class UploadKind { Full, ParameterList };

enum class Stage {
  SaveIdentification,
  BridgeIntoBootMonitor,
  WriteBackup,
  ProgramController,
  RemoveBridge,
  SendFullUploadCrc,
  EnterMonitor,
  SendListCrc,
  TransferParameters,
  LeaveMonitor,
  RestoreIdentification,
  Lock,
};

// "SaveIdentification", ...: the name the journal records.
QString StageName(Stage stage);
std::optional<Stage> StageNamed(const QString &name);

// The stages of a sequence, in order.
QList<Stage> SequenceOf(UploadKind kind);

// What an attempt that completed `last` (none: not even the first stage)
// leaves to do. A program with a record let pass does not count as
// programmed: its attempt's last stage completed is the one before.
enum class Remains {
  Nothing,     // the upload completed
  Everything,  // nothing in the controller was changed: a plain upload
  Program,     // erased or half programmed: the full sequence
  Parameters,  // the program is whole, the parameter list is not (yet) written
  Restore,     // program and list are in: the identification windows and the lock
  Lock,        // everything but the lock
};
Remains RemainsAfter(UploadKind kind, std::optional<Stage> last);

// The later of two stages of `kind`'s sequence (an unknown one counts as none).
std::optional<Stage> LaterStage(UploadKind kind, std::optional<Stage> a, std::optional<Stage> b);
