#include "ProgramTexts.h"

namespace texts {

QString ErrorDuring(const QString &step) { return "Error during " + step + "."; }
QString RescueFrom(const QString &backup) { return "Please refer to file " + backup + " to rescue C/U parameters"; }

QString WithCr(const QString &text) { return QString(text).replace('\n', '\r'); }
QString OnOneLine(const QString &text) { return QString(text).replace('\n', ' '); }

}  // namespace texts
