#pragma once
// The boot-monitor dialects as the tests expect them, one row each: a test
// that runs once per dialect takes its rows from here, so a new monitor is
// one more row, checked by every such test.

#include "ControllerModel.h"

#include <QByteArray>
#include <QList>

struct TestDialect {
  const char *Name;            // for row names: "(E)", "Er"
  sim::Dialect Sim;            // the simulated monitor that speaks it
  QByteArray Tag;              // characters 8 to 10 of its prompt
  QList<QByteArray> Letters;   // flash erase, EEPROM erase, programming mode
  QByteArray EraseAnswer;      // what its erase answers read from character 4; empty: not examined
  bool RemovalRepeats;         // the bridge-removal prompt comes again while it answers
};

const QList<TestDialect> &TestDialects();
const TestDialect &TestDialectOf(sim::Dialect which);
