// Prints what waiting for the controller costs: CPU per silent 0.5 s wait and
// the delay from a byte's arrival to ReadByte returning it, for the tool's
// event-driven wait and for a spinning reference wait.
//   build/default/bench/bench_link
#include "ControllerLine.h"
#include "SerialPort.h"
#include "Exchanges.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The reference the tool must beat: poll, yield to the event loop, poll again.
std::optional<quint8> SpinningReadByte(SerialPort &port) {
  QElapsedTimer start;
  start.start();
  while (start.elapsed() < ReplyWaitMs && port.BytesWaiting() < 1) QCoreApplication::processEvents();
  if (port.BytesWaiting() < 1) return std::nullopt;
  return static_cast<quint8>(port.Read()[0]);
}

struct Figures {
  double CpuMsPerWait = 0, MedianUs = 0, P99Us = 0;
};

template <typename ReadFn>
Figures Measure(SerialPort &port, int master, ReadFn read) {
  Figures f;
  port.SetReadMode(1);
  const int waits = 4;
  const double cpuBefore = ThreadCpuMs();
  for (int i = 0; i < waits; ++i) read(port);
  f.CpuMsPerWait = (ThreadCpuMs() - cpuBefore) / waits;

  std::vector<double> latencies;
  for (int i = 0; i < 300; ++i) {
    std::atomic<long long> sentAt{0};
    std::thread peer([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(2000));
      sentAt = Clock::now().time_since_epoch().count();
      const char b = 0x55;
      (void)!write(master, &b, 1);
    });
    const std::optional<quint8> got = read(port);
    const long long returnedAt = Clock::now().time_since_epoch().count();
    peer.join();
    if (got) latencies.push_back((returnedAt - sentAt) / 1e3);
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    f.MedianUs = latencies[latencies.size() / 2];
    f.P99Us = latencies[latencies.size() * 99 / 100];
  }
  return f;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  qputenv("CALVENORI_PORTS", name);

  SerialPort port;
  port.SetSettings(ControllerLineSettings);
  port.SetPortNumber(1);
  if (!port.Open()) {
    std::fprintf(stderr, "cannot open %s: %s\n", name, qPrintable(port.ErrorString()));
    return 1;
  }
  const Figures event = Measure(port, master, [](SerialPort &p) { return ReadByte(p); });
  const Figures spin = Measure(port, master, [](SerialPort &p) { return SpinningReadByte(p); });

  std::printf("wait_cpu_ms_per_500ms %.3f\n", event.CpuMsPerWait);
  std::printf("reply_latency_us_median %.1f\n", event.MedianUs);
  std::printf("reply_latency_us_p99 %.1f\n", event.P99Us);
  std::printf("spin_wait_cpu_ms_per_500ms %.3f\n", spin.CpuMsPerWait);
  std::printf("spin_reply_latency_us_median %.1f\n", spin.MedianUs);
  std::printf("spin_reply_latency_us_p99 %.1f\n", spin.P99Us);
  std::printf("cpu_ratio_vs_spin %.5f\n", spin.CpuMsPerWait > 0 ? event.CpuMsPerWait / spin.CpuMsPerWait : 0.0);
  port.Close();
  close(master);
  close(slave);
  return 0;
}
