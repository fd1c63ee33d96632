#pragma once
// The one serial port object of the program: a thin layer over QSerialPort that
// offers only what the controller link needs, one byte per character.

#include "LineTiming.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

struct LineSettings {
  qint32 Baud = 9600;
  QSerialPort::Parity Parity = QSerialPort::NoParity;
  QSerialPort::DataBits DataBits = QSerialPort::Data8;
  QSerialPort::StopBits StopBits = QSerialPort::OneStop;
};

// Parses "9600,N,8,1" (baud, parity N/E/O/M/S, data bits 5-8, stop bits 1/1.5/2).
// Returns false and leaves `out` alone for a malformed text.
bool ParseLineSettings(const QString &text, LineSettings &out);

// Device behind port number n: COMn on Windows; elsewhere the n-th entry of
// CALVENORI_PORTS when set, else the n-th port the system lists. Empty when none.
QString PortDeviceName(int portNumber);

class SerialPort {
 public:
  SerialPort();

  void SetPortNumber(int portNumber);
  int PortNumber() const { return portNumber_; }

  bool SetSettings(const QString &text);  // refused while malformed
  QString Settings() const { return settingsText_; }

  // Fails when the port does not exist or is held; ErrorString() tells why.
  bool Open();
  void Close();
  bool IsOpen() const;
  QString ErrorString() const { return errorString_; }
  QString DeviceName() const;

  void SetReadMode(int mode) { readMode_ = mode; }  // 0 all waiting, 1 one byte
  int ReadMode() const { return readMode_; }
  qint64 BytesWaiting() const;
  QByteArray Read();  // never waits
  void Write(const QByteArray &bytes);

  // Drops what Qt holds and what the system has received but Qt not yet read.
  void DiscardInput();

  // Set once the device went away while open (adapter unplugged).
  bool Lost() const { return lost_; }

  // What the link has learned about this line since it was opened.
  LineTiming &Timing() { return timing_; }
  const LineTiming &Timing() const { return timing_; }

  // For event-driven waiting on readyRead; not for reading or writing.
  QSerialPort &Device() { return port_; }

 private:
  QSerialPort port_;
  int portNumber_ = 1;
  QString settingsText_;
  LineSettings settings_;
  int readMode_ = 0;
  bool lost_ = false;
  LineTiming timing_;
  QString errorString_;
};
