#pragma once
// A symbolic link that gives the simulator's pseudo-terminal a name that stays
// the same from run to run, and across an unplug (a new pty each time).
// Linux only: Windows has no such links for ports.

#include <QString>

namespace sim {

// Makes `link` name `target`, replacing an earlier symbolic link there;
// anything else at `link` is left alone (false, with the reason).
bool PointLink(const QString &link, const QString &target, QString *error);
// Removes `link` while it still names `target`: another run may own it now.
void RemoveLink(const QString &link, const QString &target);

}  // namespace sim
