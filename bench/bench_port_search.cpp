// How long --port auto takes to look at 1 and at 16 silent ports: every port
// is asked at once, so sixteen should take about as long as one.

#include "PortSearch.h"
#include "SimulatedController.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

double SecondsFor(int count) {
  std::vector<std::unique_ptr<sim::SimulatedController>> controllers;
  QList<NumberedPort> ports;
  for (int i = 0; i < count; ++i) {
    controllers.push_back(std::make_unique<sim::SimulatedController>());
    if (!controllers.back()->Start()) return -1;
    sim::Faults silent;
    silent.Silent = true;
    controllers.back()->SetFaults(silent);
    ports << NumberedPort{i + 1, {controllers.back()->SlavePath(), {}, {}, {}}};
  }
  QElapsedTimer timer;
  timer.start();
  const QList<PortFinding> findings = SearchPorts(ports);
  const double seconds = timer.nsecsElapsed() / 1e9;
  for (const PortFinding &f : findings)
    if (!f.Opened || f.Answered()) return -1;  // every port silent, none missing
  return seconds;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  for (int count : {1, 16}) {
    const double seconds = SecondsFor(count);
    if (seconds < 0) {
      std::printf("%2d silent port(s): the simulated ports did not start or did not stay silent\n", count);
      return 1;
    }
    std::printf("%2d silent port(s): %.2f s\n", count, seconds);
  }
  return 0;
}
