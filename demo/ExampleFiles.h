#pragma once
// The sample files the demo uploads, from the source tree's examples/.

#include <QString>

struct ExampleFiles {
  QString ProgramFile = QStringLiteral(CALVENORI_EXAMPLES_DIR "/pump-controller-v1.5.s19");
  QString ParameterList = QStringLiteral(CALVENORI_EXAMPLES_DIR "/pump-parameters.txt");
};
