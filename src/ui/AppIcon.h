#pragma once

#include <QIcon>

// The 16x16 icon every window of the program carries.
QIcon AppIcon();
