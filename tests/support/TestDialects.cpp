#include "TestDialects.h"

const QList<TestDialect> &TestDialects() {
  static const QList<TestDialect> rows{
      {"(E)", sim::Dialect::E, "(E)", {"E", "C", "P"}, "Erased", true},
      {"Er", sim::Dialect::Er, " Er", {"a", "d", "b"}, "", false},
  };
  return rows;
}

const TestDialect &TestDialectOf(sim::Dialect which) {
  for (const TestDialect &d : TestDialects())
    if (d.Sim == which) return d;
  qFatal("no test row for a simulated dialect");
}
