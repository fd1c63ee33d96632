#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class SerialPort;

struct ProbeResult {
  QList<int> Available;  // port numbers that open, ascending
  QStringList Denied;    // devices there that this user may not open
};

// Tries port numbers 1..16 through `port`. The port is left closed, numbered
// as the last candidate.
ProbeResult ProbePorts(SerialPort &port);

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
std::optional<qint16> ParsePortNumber(const QString &text);
