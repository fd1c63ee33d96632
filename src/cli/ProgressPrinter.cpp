#include "ProgressPrinter.h"

#include "ConsoleText.h"

namespace {

constexpr int BarWidth = 30;

int Percent(const ProgressState &p) { return p.Max > p.Min ? (p.Value - p.Min) * 100 / (p.Max - p.Min) : 0; }

}  // namespace

void ProgressPrinter::Caption(const QString &caption) {
  Break();
  caption_ = caption;
  shown_ = -1;
  WriteText(out_, terminal_ ? "\r\033[K" + caption : caption + '\n');
  lineOpen_ = terminal_;
  std::fflush(out_);
}

void ProgressPrinter::Show(const ProgressState &progress) {
  const int percent = Percent(progress);
  if (!terminal_) {
    const int tenth = percent / 10;
    if (tenth <= 0 || tenth <= shown_) return;
    shown_ = tenth;
    WriteText(out_, QStringLiteral("%1 %2%\n").arg(caption_, QString::number(tenth * 10)));
  } else {
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * BarWidth / 100;
    WriteText(out_, QStringLiteral("\r\033[K%1 [%2%3] %4%")
                        .arg(caption_, QString(filled, '#'), QString(BarWidth - filled, '.'),
                             QStringLiteral("%1").arg(percent, 3)));
    lineOpen_ = true;
  }
  std::fflush(out_);
}

void ProgressPrinter::Break() {
  if (!lineOpen_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  lineOpen_ = false;
}
