#pragma once
// What --port names, and how the command line speaks of it: a number as the
// window numbers its ports, or a device by its path. A port given by its path
// is named by its path; one that does not open is explained with the ports
// that are known here, since a terminal has no port dialog to look in.

#include <QString>

class SerialPort;
enum class OpenFault;  // SerialPort.h

struct PortChoice {
  int Number = 1;
  QString Device;  // given by its path: opened whatever the numbers name now
  bool Auto = false;  // "auto": the one known port where a controller answers
};

// False with the reason for a value that names no port (0, "abc"): a bad
// option, refused before anything is opened.
bool ParsePortChoice(const QString &value, PortChoice &out, QString *error);

// "serial port 2 (/dev/ttyUSB1)", or "serial port /dev/ttyUSB1" when given
// by its path.
QString PortChoiceName(const PortChoice &choice, const QString &device);

// The message when `port`, set up from `choice`, did not open; lines joined by CR.
QString PortChoiceFailure(const PortChoice &choice, const SerialPort &port,
                          const QString &notStarted = QStringLiteral("The upload has not been started."));
// The same from what the open left: the device it named (empty: none), the
// system's reason and the kind of reason, which picks the one tip that fits.
QString PortChoiceFailure(const PortChoice &choice, const QString &device, const QString &reason, OpenFault fault,
                          const QString &notStarted = QStringLiteral("The upload has not been started."));

// One line per port number that names a device now ("  1  /dev/ttyS0  16550A
// UART"), under a heading; or one line saying there is none.
QString KnownPortsText();
