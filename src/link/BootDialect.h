#pragma once
// The boot monitor's two dialects, told apart by the tag in its prompt:
// characters 8 to 10 of its answer to a lone CR. The letters each one takes
// are the program transfer's business.

#include <QByteArray>

#include <optional>

enum class BootDialect {
  E,   // tag "(E)"
  Er,  // tag " Er"
};

// Characters 8 to 10 of a boot monitor's answer; fewer, or none, when the
// answer is shorter.
QByteArray PromptTagOf(const QByteArray &reply);

// The dialect a prompt tag names; none for any other text.
std::optional<BootDialect> BootDialectOf(const QByteArray &tag);

// The dialect whose tag the answer carries; none for any other answer.
std::optional<BootDialect> PromptDialect(const QByteArray &reply);

// The tag as the monitor sends it, for messages.
QByteArray PromptTag(BootDialect dialect);
