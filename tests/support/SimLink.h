#pragma once
// A simulated controller on a pseudo-terminal with the real port object opened
// on it as port 1, the way the tool finds it through CALVENORI_PORTS.

#include "SerialPort.h"
#include "SimulatedController.h"

#include <QString>

#include <memory>

struct SimLink {
  std::unique_ptr<sim::SimulatedController> Controller;
  SerialPort Port;

  // Starts the controller and opens the port; QVERIFY the result.
  bool Start(sim::Dialect dialect = sim::Dialect::E, bool paced = false);
  // Before each case: nothing left to send, no faults, unpaced and even,
  // nothing learned about the line, the usual prompt, `mode`, nothing
  // recorded.
  void Reset(sim::Mode mode);
  QString Error;
};

// Returns once the controller has written `total` bytes to the line since it
// started (false after 10 s without), handling no events meanwhile: what it
// wrote stays in the system's buffer, unseen by Qt.
bool WaitUntilSent(const sim::SimulatedController &controller, qint64 total);

// Hex dump "02 80 33" for readable comparisons of wire bytes.
QString Hex(const QByteArray &bytes);
QByteArray Unhex(const char *spaced);
