#include "DemoOptions.h"

#include <QByteArray>

namespace {

// Reads the argument after an option that takes one; false at the end.
bool NextValue(int argc, char **argv, int &i, QString &value) {
  if (i + 1 >= argc) return false;
  value = QString::fromLocal8Bit(argv[++i]);
  return true;
}

void ReadMode(const QString &mode, DemoOptions &options) {
  if (mode == QLatin1String("full")) options.FullMode = true;
  else if (mode == QLatin1String("parameters")) options.FullMode = false;
  else options.Error = QStringLiteral("--mode takes \"full\" or \"parameters\", not \"%1\".").arg(mode);
}

void ReadNoise(const QString &noise, DemoOptions &options) {
  if (!sim::ParseNoise(noise, options.Noise))
    options.Error = QStringLiteral("--noise takes a rate such as 0.001 or 1/1000, and :SEED, not \"%1\".").arg(noise);
}

}  // namespace

DemoOptions ParseDemoOptions(int argc, char **argv) {
  DemoOptions options;
  for (int i = 1; i < argc && options.Error.isEmpty(); ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    QString value;
    if (arg == QLatin1String("--unattended")) options.Unattended = true;
    else if (arg == QLatin1String("--unpaced")) options.Paced = false;
    else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) options.Help = true;
    else if (arg == QLatin1String("--mode") && NextValue(argc, argv, i, value)) ReadMode(value, options);
    else if (arg == QLatin1String("--out") && NextValue(argc, argv, i, value)) options.OutDir = value;
    else if (arg == QLatin1String("--noise") && NextValue(argc, argv, i, value)) ReadNoise(value, options);
    else if (arg == QLatin1String("--mode") || arg == QLatin1String("--out") || arg == QLatin1String("--noise"))
      options.Error = QStringLiteral("%1 needs a value.").arg(arg);
    else options.Error = QStringLiteral("Unknown argument \"%1\".").arg(arg);
  }
  return options;
}

QString DemoUsage() {
  return QStringLiteral(
      "Usage: calvenori-demo [--unattended] [--unpaced] [--mode full|parameters] [--noise RATE[:SEED]]\n"
      "                      [--out DIR]\n"
      "\n"
      "Runs the Calvenori Uploader against a simulated pump controller with the files in examples/.\n"
      "With a display you drive the upload: click \"Start Upload\" and answer each message; the\n"
      "\"Simulated controller\" window plays the technician's hands. Without one (or with\n"
      "--unattended) the whole upload runs offscreen and is reported here.\n"
      "\n"
      "  --unattended   run offscreen even when a display is there\n"
      "  --unpaced      let the simulator answer at full speed instead of at 9600 baud\n"
      "  --mode MODE    full (program file and parameter list, the default) or parameters\n"
      "  --noise RATE[:SEED]\n"
      "                 a noisy line: each byte, either way, lost or garbled with the odds RATE\n"
      "                 (0.001 or 1/1000), drawn from SEED (default 1); the same on every run\n"
      "  --out DIR      screenshots and the backup file tmpLogWin.txt (default: demo-output)\n");
}

bool HasDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
  return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}
