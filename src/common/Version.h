#pragma once

#include <QString>

// "major.minor.revision" in plain decimal: 1.5.12, 1.10.0.
QString FormatVersion(int major, int minor, int revision);

// The release this program was built as.
QString AppVersion();
