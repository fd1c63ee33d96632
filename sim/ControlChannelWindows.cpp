// The control channel as a named pipe: Windows has no local sockets for
// programs (and Wine's sockets know no AF_UNIX).
#ifdef _WIN32

#include "ControlChannel.h"

#include <windows.h>

namespace sim {

namespace {

std::wstring PipeName(const QString &name) {
  const QString prefix = QStringLiteral("\\\\.\\pipe\\");
  return (name.startsWith(prefix, Qt::CaseInsensitive) ? name : prefix + name).toStdWString();
}

QString SystemError(const QString &what) {
  return QStringLiteral("%1: %2").arg(what, qt_error_string(int(::GetLastError())));
}

// Reads up to a newline or the end; a request or an answer is one short line.
QByteArray ReadLine(HANDLE pipe) {
  QByteArray line;
  char c = 0;
  DWORD n = 0;
  while (line.size() < 256 && ::ReadFile(pipe, &c, 1, &n, nullptr) && n == 1 && c != '\n') line += c;
  return line;
}

void WriteAll(HANDLE pipe, const QByteArray &bytes) {
  DWORD n = 0;
  ::WriteFile(pipe, bytes.constData(), DWORD(bytes.size()), &n, nullptr);
  ::FlushFileBuffers(pipe);
}

HANDLE ConnectTo(const std::wstring &name) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const HANDLE pipe =
        ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_PIPE_BUSY) return pipe;
    ::WaitNamedPipeW(name.c_str(), 5000);  // another request is being answered
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

ControlChannel::~ControlChannel() { Stop(); }

bool ControlChannel::Start(SimulatedController &controller, const QString &socketPath, QString *error) {
  Stop();
  const std::wstring name = PipeName(socketPath);
  const HANDLE pipe = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 256, 256, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    if (error) *error = SystemError(QString::fromStdWString(name));
    return false;
  }
  pipe_ = pipe;
  controller_ = &controller;
  path_ = QString::fromStdWString(name);
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void ControlChannel::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    // A connection of our own ends the wait for a client.
    const HANDLE wake = ConnectTo(path_.toStdWString());
    if (wake != INVALID_HANDLE_VALUE) ::CloseHandle(wake);
    thread_.join();
  }
  if (pipe_) ::CloseHandle(pipe_);
  pipe_ = nullptr;
  path_.clear();
}

void ControlChannel::Serve() {
  const HANDLE pipe = pipe_;
  while (!stop_) {
    if (!::ConnectNamedPipe(pipe, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
    if (!stop_) {
      QString error;
      const QByteArray command = ReadLine(pipe).trimmed();
      const bool done = RunControlCommand(*controller_, command, &error);
      WriteAll(pipe, done ? QByteArray("ok\n") : "error: " + error.toLocal8Bit() + "\n");
    }
    ::DisconnectNamedPipe(pipe);
  }
}

bool SendControlCommand(const QString &socketPath, const QByteArray &command, QString *error) {
  const std::wstring name = PipeName(socketPath);
  const HANDLE pipe = ConnectTo(name);
  if (pipe == INVALID_HANDLE_VALUE) {
    if (error) *error = SystemError(QString::fromStdWString(name));
    return false;
  }
  WriteAll(pipe, command + "\n");
  const QByteArray answer = ReadLine(pipe);
  ::CloseHandle(pipe);
  if (answer == "ok") return true;
  if (error) *error = answer.isEmpty() ? QStringLiteral("no answer") : QString::fromLocal8Bit(answer);
  return false;
}

}  // namespace sim

#endif
