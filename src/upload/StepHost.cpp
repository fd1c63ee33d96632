#include "StepHost.h"

QString StepCaption(Step step) {
  switch (step) {
    case Step::StoringParameters: return QStringLiteral("Storing Controller Parameters");
    case Step::ClearingFlash: return QStringLiteral("Clear Flash memory");
    case Step::ClearingEeprom: return QStringLiteral("Clear EEPROM");
    case Step::EnteringProgramming: return QStringLiteral("Set Controller in Programming mode");
    case Step::SendingProgram: return QStringLiteral("Sending Program File");
    case Step::EnteringMonitor: return QStringLiteral("Setting Controller in Monitor Mode");
    case Step::SendingCrc: return QStringLiteral("Sending CRC");
    case Step::SendingParameters: return QStringLiteral("Sending Parameter List");
    case Step::VerifyingParameters: return QStringLiteral("Verifying Parameter List");
    case Step::Identifying: break;
  }
  return QStringLiteral("Identifying the controller");
}
