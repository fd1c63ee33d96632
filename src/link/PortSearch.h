#pragma once
// Looks for the controller on every known port at once: each port in a thread
// of its own, with a port object made there, says the same harmless first
// words (FirstContact) under the usual 0.5 s limits, so many silent ports take
// about as long as one.

#include "FirstContact.h"
#include "PortList.h"

#include <QList>
#include <QString>

#include <optional>

enum class OpenFault;  // SerialPort.h

struct PortFinding {
  int Number = 0;
  QString Device;
  bool Opened = false;
  bool TimedOut = false;  // still at it when the search gave up on it
  FirstContact Contact;
  bool Answered() const { return Opened && Contact.AnythingAnswered(); }
};

// Opens `device`, makes first contact, closes; in the calling thread.
PortFinding ProbePort(int number, const QString &device);

// How long a port may take, from its open to its answer: a Bluetooth port
// that looks for its device for many seconds is given up on.
constexpr int PortSearchLimitMs = 5000;

// Every port of `ports` probed at once; returns when all have ended or the
// limit is up, in the order of `ports`. Events of the calling thread keep
// running meanwhile. A port still at it is left to end in the background.
class PortSearch {
 public:
  QList<PortFinding> Run(const QList<NumberedPort> &ports, int limitMs = PortSearchLimitMs);
  // Ends a Run() at once, the ports still at it given up on.
  void Cancel();

 private:
  class QEventLoop *loop_ = nullptr;
};
QList<PortFinding> SearchPorts(const QList<NumberedPort> &ports, int limitMs = PortSearchLimitMs);

// The one port where something answered, or none with the reason: nothing
// answered, or several did.
struct PortVerdict {
  std::optional<PortFinding> Found;
  QString Refusal;  // lines joined by CR, listing what answered where
};
PortVerdict ChooseAnsweringPort(const QList<PortFinding> &findings);

// One line per port: "  2  /dev/ttyUSB1  the application".
QString FindingsText(const QList<PortFinding> &findings);
