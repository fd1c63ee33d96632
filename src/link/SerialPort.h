#pragma once
// The one serial port object of the program: a thin layer over QSerialPort that
// offers only what the controller link needs, one byte per character.

#include "LineTiming.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <optional>

#include "PortList.h"
#include "WireTrace.h"

struct LineSettings {
  qint32 Baud = 9600;
  QSerialPort::Parity Parity = QSerialPort::NoParity;
  QSerialPort::DataBits DataBits = QSerialPort::Data8;
  QSerialPort::StopBits StopBits = QSerialPort::OneStop;
};

// Parses "9600,N,8,1" (baud, parity N/E/O/M/S, data bits 5-8, stop bits 1/1.5/2).
// Returns false and leaves `out` alone for a malformed text.
bool ParseLineSettings(const QString &text, LineSettings &out);

// Why a port would not open, as far as the system said.
enum class OpenFault {
  None,     // it opened
  Missing,  // the device is not there: unplugged, or no device has the number
  Held,     // another program has it open
  Denied,   // this user may not open the device
  Other,    // any other reason: only the system's own words tell it
};

// Reads Qt's account of a failed open: its error code and text, and whether
// this user lacks read and write rights on the device. A reason the system
// did not give is never guessed: that is Other.
OpenFault ClassifyOpenFailure(QSerialPort::SerialPortError error, const QString &text, bool accessDenied);

// What the line cost since the port was opened: the repeats it took to get
// exchanges through that the line had spoiled or lost, and among them the
// S-records sent again. Repeats of an exchange that never got through are
// not counted: that exchange failed, and says so.
struct LineRepeats {
  int Exchanges = 0;
  int Records = 0;
};

class SerialPort {
 public:
  SerialPort();

  // Also forgets the device set below.
  void SetPortNumber(int portNumber);
  int PortNumber() const { return portNumber_; }
  // The device chosen for the port number, or one of its links, opened
  // instead of whatever the number names now; empty: the number decides.
  void SetDevice(const QString &device) { device_ = device; }

  bool SetSettings(const QString &text);  // refused while malformed
  QString Settings() const { return settingsText_; }

  // Fails when the port does not exist or is held; ErrorString() tells why,
  // in the system's words, and Fault() which kind of reason that is.
  bool Open();
  // An open its caller gave up on before trying it here (a port that did not
  // answer in time elsewhere): false, with the fault and reason as for Open().
  bool FailOpen(OpenFault fault, const QString &reason) { return Refused(fault, reason); }
  OpenFault Fault() const { return fault_; }
  // The last Open() failed because the device is not there (unplugged).
  bool DeviceMissing() const { return fault_ == OpenFault::Missing; }
  void Close();
  // The same device opened again after it went away: the trace, what the
  // line cost and what was learned of its timing go on.
  bool Reopen();
  // Lets go of the device as if it had gone away: it came back, but not as
  // the controller it was.
  void Drop();
  bool IsOpen() const;
  QString ErrorString() const { return errorString_; }
  QString DeviceName() const;

  void SetReadMode(int mode) { readMode_ = mode; }  // 0 all waiting, 1 one byte
  qint64 BytesWaiting() const;
  QByteArray Read();  // never waits
  void Write(const QByteArray &bytes);

  // Drops what Qt holds and what the system has received but Qt not yet read.
  void DiscardInput();

  // Whether opening asked the driver for low latency and will undo it on close.
  bool LowLatencyRequested() const { return flagsBeforeLowLatency_.has_value(); }

  // Set once the device went away while open (adapter unplugged).
  bool Lost() const { return lost_; }
  // Nothing more is sent, received or traced until the next Open(): every
  // wait for the controller ends at once. A stop, not a loss: the technician
  // asked for it.
  void Stop() { stopped_ = true; }
  bool Stopped() const { return stopped_; }
  // Nothing more can pass: the device went away or the upload was stopped.
  bool Ended() const { return lost_ || stopped_; }

  // How an upload gets a lost port back: wait for the device, reopen it and
  // find out, harmlessly, whether the controller still answers as before.
  // True when it does. Unset: a loss ends whatever was waiting.
  void SetComeback(std::function<bool()> comeback) { comeback_ = std::move(comeback); }
  // Called by the waits when the device went away: the comeback, once at a
  // time. True when the port is back.
  bool TryComeback();
  // The port went away and came back since the last Write(): what was sent
  // may never have arrived, so the exchange is made again.
  bool CameBack() const { return cameBack_; }

  // Bytes that came from the line since Open(), read or discarded: zero means
  // the controller never answered.
  qint64 BytesReceived() const { return received_; }

  // What the link has learned about this line since it was opened.
  LineTiming &Timing() { return timing_; }
  const LineTiming &Timing() const { return timing_; }

  // Traces the port into `path` from the next Open() to its Close() (empty:
  // no trace). Open() fails when the trace file cannot be opened.
  void SetTraceFile(const QString &path) { tracePath_ = path; }
  // A marker line in the trace (a step caption, a message, an answer).
  void TraceNote(const char *kind, const QString &text) { trace_.Note(kind, text); }

  // An exchange asked again: marked "RPT" in the trace.
  void NoteRepeat(const QString &what) { trace_.Note("RPT", what); }
  // An exchange got through after `repeats` repeats (none: nothing counted).
  void CountRepeats(int repeats, bool records = false);
  const LineRepeats &Repeats() const { return repeats_; }

  // For event-driven waiting on readyRead; not for reading or writing.
  QSerialPort &Device() { return port_; }

 private:
  QSerialPort port_;
  int portNumber_ = 1;
  QString device_;
  QString settingsText_;
  LineSettings settings_;
  int readMode_ = 0;
  bool lost_ = false;
  bool stopped_ = false;
  bool cameBack_ = false;
  bool comingBack_ = false;
  std::function<bool()> comeback_;
  qint64 received_ = 0;
  LineRepeats repeats_;
  LineTiming timing_;
  OpenFault fault_ = OpenFault::None;
  QString errorString_;
  std::optional<int> flagsBeforeLowLatency_;

  QString tracePath_;
  WireTrace trace_;

  void TraceDiscard();
  // Opens `device` with the line settings; false with the fault and reason set.
  bool OpenDevice(const QString &device);
  bool Refused(OpenFault fault, const QString &reason);
};
