#include "ConsoleText.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

#ifdef Q_OS_WIN
namespace {

// Older consoles take no more than some 64 KiB in one call.
constexpr qsizetype ConsoleChunk = 8192;

// True when the text went to a console. The progress bar's "\r\033[K" needs
// the console to take escape sequences, which consoles before Windows 10
// cannot (they show them).
bool WriteToConsole(std::FILE *stream, const QString &text) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
  if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)) SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  std::fflush(stream);  // what went out through the C library comes first
  for (qsizetype at = 0; at < text.size();) {
    qsizetype length = qMin(ConsoleChunk, text.size() - at);
    if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate()) --length;
    DWORD written = 0;
    if (!WriteConsoleW(handle, text.utf16() + at, DWORD(length), &written, nullptr) || written == 0) break;
    at += written;
  }
  return true;
}

}  // namespace
#endif

void WriteText(std::FILE *stream, const QString &text) {
#ifdef Q_OS_WIN
  if (WriteToConsole(stream, text)) return;
#endif
  std::fputs(text.toUtf8().constData(), stream);
}
