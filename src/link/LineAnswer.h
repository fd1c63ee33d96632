#pragma once
// What answers on a line whose controller application stayed silent: its
// boot monitor, its parameter monitor, or nothing at all. Asked with the one
// byte every state of the controller takes harmlessly.

#include "BootDialect.h"
#include "SerialPort.h"

#include <QByteArray>

enum class Answerer {
  Nothing,           // no byte at all: cable, power or port
  BootMonitor,       // a prompt with a boot monitor's tag: no complete program
  ParameterMonitor,  // a monitor's answer without that tag: no parameter set
};

struct LineAnswer {
  Answerer Who = Answerer::Nothing;
  const BootDialect *Dialect = nullptr;  // told by the prompt tag; set exactly for BootMonitor
};

// Sends a lone CR, and a second one when the first was answered without a
// boot monitor's tag, and says who answered.
LineAnswer AskWhatAnswers(SerialPort &port);

// Judges the answers to one or two lone CRs.
LineAnswer JudgeAnswers(const QByteArray &first, const QByteArray &second);
