#pragma once
// The boot monitor's dialects, one row each, told apart by the tag in its
// prompt: characters 8 to 10 of its answer to a lone CR. Everything that
// differs between them is a field of the row; nothing else names a
// dialect's letters or compares dialects.

#include <QByteArray>
#include <QList>
#include <QString>

struct BootDialect {
  QByteArray Tag;  // "(E)", " Er"
  // Its single-letter commands.
  char FlashErase = 0, EepromErase = 0, Programming = 0;
  // What characters 4 on of its answer to an erase read when the erase was
  // done; empty: its answers are not examined.
  QByteArray EraseAnswer;
  // The bridge-removal prompt comes again while its prompt still answers.
  bool RemovalRepeats = false;

  // "(E)", "Er": the tag without its blanks, for messages.
  QString Name() const { return QString::fromLatin1(Tag.trimmed()); }
};

// The table.
const QList<BootDialect> &BootDialects();

// Characters 8 to 10 of a boot monitor's answer; fewer, or none, when the
// answer is shorter.
QByteArray PromptTagOf(const QByteArray &reply);

// The row a prompt tag names; none (null) for any other text.
const BootDialect *BootDialectOf(const QByteArray &tag);

// The row whose tag the answer carries; none (null) for any other answer.
const BootDialect *PromptDialect(const QByteArray &reply);
