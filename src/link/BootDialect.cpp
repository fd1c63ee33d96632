#include "BootDialect.h"

const QList<BootDialect> &BootDialects() {
  static const QList<BootDialect> table = {
      {"(E)", 'E', 'C', 'P', "Erased", true},
      {" Er", 'a', 'd', 'b', "", false},
  };
  return table;
}

QByteArray PromptTagOf(const QByteArray &reply) { return reply.mid(7, 3); }

const BootDialect *BootDialectOf(const QByteArray &tag) {
  for (const BootDialect &dialect : BootDialects())
    if (tag == dialect.Tag) return &dialect;
  return nullptr;
}

const BootDialect *PromptDialect(const QByteArray &reply) { return BootDialectOf(PromptTagOf(reply)); }
