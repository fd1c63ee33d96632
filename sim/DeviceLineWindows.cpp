// The controller on a Windows serial port: another adapter through a
// null-modem cable, or one end of a virtual pair (com0com). The port is
// polled every millisecond with a read that returns at once: Wine 8 completes
// neither a waiting WaitCommEvent nor an overlapped read when input comes
// (only when the program also writes, which a controller waiting for a
// request never does), and makes a read with a total timeout wait all of
// it. A poll answers within a millisecond everywhere and costs a controller
// that waits next to nothing. The port's own driver paces the bytes it
// sends; the schedule only decides when each is handed to it.
#ifdef _WIN32

#include "ControllerLine.h"

#include <windows.h>
#include <timeapi.h>

#include <algorithm>

#include <thread>

namespace sim {

namespace {

QString SystemError(const QString &what) {
  return QStringLiteral("%1: %2").arg(what, qt_error_string(int(::GetLastError())));
}

// "COM5" and "COM12" as Windows opens every port: \\.\COM12.
std::wstring PortPath(const QString &device) {
  return (device.startsWith(QLatin1String("\\\\.\\")) ? device : QStringLiteral("\\\\.\\") + device).toStdWString();
}

bool Configure(HANDLE port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(port, &dcb)) return false;
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = dcb.fInX = FALSE;
  dcb.fAbortOnError = FALSE;
  // A read returns at once with what is there; a write gives up after two
  // seconds (a virtual pair may hold bytes while its other end is closed).
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 2000};
  return ::SetCommState(port, &dcb) && ::SetCommTimeouts(port, &timeouts);
}

constexpr DWORD PollMs = 1;

class WindowsDeviceLine : public ControllerLine {
 public:
  WindowsDeviceLine(SimulatedController &owner, const QString &device) : ControllerLine(owner), device_(device) {}
  ~WindowsDeviceLine() override {
    Stop();
    if (wake_) ::CloseHandle(wake_);
  }

  bool Start(QString *error, QString *path) override;
  void Stop() override {
    stop_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    if (port_ != INVALID_HANDLE_VALUE) ::CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    finished_ = true;
  }
  void Wake() override {
    if (wake_) ::SetEvent(wake_);
  }

 private:
  void Run();
  bool Read();  // false: the line is gone or the fault hangs up
  Written Write(const char *data, qint64 count);
  DWORD Timeout() const;

  const QString device_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE wake_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

bool WindowsDeviceLine::Start(QString *error, QString *path) {
  port_ = ::CreateFileW(PortPath(device_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  wake_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (port_ == INVALID_HANDLE_VALUE || !Configure(port_) || !wake_) {
    if (error) *error = SystemError(QStringLiteral("cannot open %1").arg(device_));
    Stop();
    return false;
  }
  *path = device_;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void WindowsDeviceLine::Run() {
  ::timeBeginPeriod(PollMs);  // a wait of a millisecond lasts one, not a scheduler tick
  BeginSchedule();
  bool failed = false;  // a write the port refused: it is gone
  while (!stop_ && !failed && Read()) {
    DropOutputOfEarlierPower();
    WriteDue([&](const char *data, qint64 count) {
      const Written written = Write(data, count);
      failed = written.Failed;
      return written;
    });
    if (::WaitForSingleObject(wake_, Timeout()) == WAIT_FAILED) break;
  }
  ::timeEndPeriod(PollMs);
  finished_ = true;
}

// Until the next byte is due, but no longer than the next look at the port.
DWORD WindowsDeviceLine::Timeout() const {
  const Due due = DueAt(Clock::now());
  if (due.Count > 0) return 0;
  if (!due.Next) return PollMs;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due.Next - Clock::now()).count();
  return DWORD(std::clamp<qint64>(wait, 0, PollMs));
}

bool WindowsDeviceLine::Read() {
  char buffer[4096];
  DWORD n = 0;
  if (!::ReadFile(port_, buffer, sizeof buffer, &n, nullptr)) return false;
  return n == 0 || Accept(buffer, qint64(n));
}

ControllerLine::Written WindowsDeviceLine::Write(const char *data, qint64 count) {
  DWORD n = 0;
  if (!::WriteFile(port_, data, DWORD(count), &n, nullptr)) return Written{0, false, true};
  return Written{qint64(n)};
}

}  // namespace

std::unique_ptr<ControllerLine> MakeDeviceLine(SimulatedController &owner, const QString &device) {
  return std::make_unique<WindowsDeviceLine>(owner, device);
}

}  // namespace sim

#endif
