// The demo's example files must stay fit for an upload: the pre-flight checks
// accept them and the parameter list really writes bytes.

#include <QtTest>

#include "ParameterList.h"
#include "ParameterListCheck.h"
#include "ProgramFileCheck.h"

namespace {

QList<QByteArray> Lines(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QList<QByteArray> lines = file.readAll().split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

}  // namespace

class TestDemoFiles : public QObject {
  Q_OBJECT

  // Found beside this source file, whatever the build directory.
  const QString ProgramFile = QFINDTESTDATA("../examples/pump-controller-v1.5.s19");
  const QString ParameterFile = QFINDTESTDATA("../examples/pump-parameters.txt");

 private slots:
  void programFilePassesThePreflightCheck() {
    const Verdict fit = CheckProgramFile(ProgramFile);
    QVERIFY2(fit, qPrintable(fit.Why));
  }

  void programFileIsAFewHundredRecordsEndedByCrLf() {
    const QList<QByteArray> lines = Lines(ProgramFile);
    QVERIFY2(lines.size() >= 200 && lines.size() <= 1000, qPrintable(QString::number(lines.size())));
    QVERIFY(lines.first().startsWith("S0"));
    QVERIFY(lines.last().startsWith("S9"));
    for (const QByteArray &line : lines) QVERIFY2(line.endsWith('\r'), line.constData());
  }

  void parameterListPassesThePreflightCheckInBothModes() {
    for (bool parameterOnly : {false, true}) {
      const Verdict fit = CheckParameterList(ParameterFile, parameterOnly);
      QVERIFY2(fit, qPrintable(fit.Why));
    }
  }

  void parameterListWritesBytesFromItsStartAddress() {
    QString error;
    const auto bytes = ParameterByteMap(ParameterFile, &error);
    QVERIFY2(!bytes.empty(), qPrintable(error));
    QCOMPARE(bytes.begin()->first, quint16(0x0400));
    // Contiguous: every parameter line was read as one whole record.
    QCOMPARE(int(bytes.rbegin()->first - bytes.begin()->first) + 1, int(bytes.size()));
  }

  void parameterListCarriesItsCrcOnTheThirdLine() {
    const Checked<qint32> crc = ReadParameterCrc(ParameterFile);
    QVERIFY2(crc, qPrintable(crc.Why));
    QVERIFY(*crc > 0);
  }
};

QTEST_GUILESS_MAIN(TestDemoFiles)
#include "test_demo_files.moc"
