#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;
class QThread;
enum class OpenFault;  // SerialPort.h

// Opens a device and closes it again, in the calling thread, and says why it
// would not open (OpenFault::None: it opened). Some opens take many seconds
// (the virtual COM ports of paired Bluetooth devices look for their device
// first), so the dialog runs each in a thread of its own.
using PortOpener = std::function<OpenFault(const QString &device)>;
OpenFault OpenAndClose(const QString &device);

// How the port dialog tries its ports.
struct ProbeSetup {
  PortOpener Opener = OpenAndClose;
  int LimitMs = 2000;  // a port that has not answered by then is not listed
};

// The port numbers 1..16 that name a device now, with that device.
QMap<int, QString> ProbeCandidates();

// Runs `opener` on `device` in a thread of its own and hands its verdict to
// `deliver` in the thread of `receiver`, unless `receiver` is gone by then.
// The thread lets go of itself when the opener returns, however late; the
// QThread returned is deleted then.
QThread *OpenInBackground(const PortOpener &opener, const QString &device, QObject *receiver,
                          std::function<void(OpenFault)> deliver);

// Where a probe stands: what answered so far and what is still awaited.
struct ProbeTally {
  QMap<int, QString> Pending;  // number -> device, not answered yet
  QList<int> Available;        // opened, ascending
  QMap<int, QString> Denied;   // devices this user may not open
  QMap<int, QString> Silent;   // no answer within the limit
  bool Finished() const { return Pending.isEmpty(); }
};
// Takes the answer for `number`; an answer for a number no longer awaited
// (given up on, or answered before) changes nothing and returns false.
bool TakeAnswer(ProbeTally &tally, int number, OpenFault fault);
// The ports still awaited are given up on as not answering.
void GiveUpOnPending(ProbeTally &tally);

// The entry to select among `available`: the port of the device chosen last
// time (its number now, 0 when not there), else `comPort`, else the first;
// -1 when the list is empty.
int PreselectedIndex(const QList<int> &available, int deviceNumber, int comPort);

// What the dialog says of ports that did not answer within `limitMs`; empty
// when all did.
QString SilentPortsText(const QMap<int, QString> &silent, int limitMs);

// The device behind a port number and what the system tells of it: its
// description and, for a USB adapter, maker and serial number.
QString PortDescription(int portNumber);

// What "OK" records for a number: the chosen device's lasting name; empty
// when no device has the number.
QString ChosenDeviceOf(int portNumber);

// The number among `numbers` that names `device` now; 0 when none does.
int NumberOfDevice(const QList<int> &numbers, const QString &device);

// What the dialog says when no port opens.
QString NoPortText(const QStringList &denied);

// A port number as typed: a whole number from 1 to 255, blanks around allowed.
std::optional<int> ParsePortNumber(const QString &text);
