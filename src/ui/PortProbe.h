#pragma once

#include <QList>
#include <QString>

#include <optional>

class SerialPort;

constexpr int ProbedPortCount = 16;

// Port numbers 1..16 that open through `port`, ascending. The port is left
// closed, numbered as the last candidate.
QList<int> AvailablePorts(SerialPort &port);

// "/dev/ttyUSB0 - FT232R USB UART": the device behind a port number and what
// the system calls it, as far as known.
QString PortDescription(int portNumber);

// A port number as typed: a whole number from 1 to 255, blanks around allowed.
std::optional<qint16> ParsePortNumber(const QString &text);
