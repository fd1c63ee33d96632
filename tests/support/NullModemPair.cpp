#include "NullModemPair.h"

NullModemPair::NullModemPair() {
  const auto end = [this](int which) { return "pty,raw,echo=0,link=" + End(which); };
  socat_.setProcessChannelMode(QProcess::MergedChannels);  // socat speaks on standard error
  socat_.start("socat", {"-d", "-d", end(0), end(1)});
  // socat reports each pty, then that it moves bytes: the links are in place.
  QByteArray said;
  while (!said.contains("starting data transfer loop")) {
    if (!socat_.waitForReadyRead(-1)) {
      error_ = "socat did not start: " + socat_.errorString() + "\n" + QString::fromLocal8Bit(said);
      return;
    }
    said += socat_.readAll();
  }
  started_ = true;
}

NullModemPair::~NullModemPair() { Cut(); }

void NullModemPair::Cut() {
  if (socat_.state() == QProcess::NotRunning) return;
  socat_.terminate();
  socat_.waitForFinished(-1);
}
