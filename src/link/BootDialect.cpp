#include "BootDialect.h"

QByteArray PromptTagOf(const QByteArray &reply) { return reply.mid(7, 3); }

std::optional<BootDialect> BootDialectOf(const QByteArray &tag) {
  for (const BootDialect dialect : {BootDialect::E, BootDialect::Er})
    if (tag == PromptTag(dialect)) return dialect;
  return std::nullopt;
}

std::optional<BootDialect> PromptDialect(const QByteArray &reply) { return BootDialectOf(PromptTagOf(reply)); }

QByteArray PromptTag(BootDialect dialect) { return dialect == BootDialect::E ? "(E)" : " Er"; }
