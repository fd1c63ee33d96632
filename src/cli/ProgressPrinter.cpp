#include "ProgressPrinter.h"

namespace {

constexpr int BarWidth = 30;

int Percent(const ProgressState &p) { return p.Max > p.Min ? (p.Value - p.Min) * 100 / (p.Max - p.Min) : 0; }

}  // namespace

void ProgressPrinter::Caption(const QString &caption) {
  Break();
  caption_ = caption;
  shown_ = -1;
  std::fprintf(out_, terminal_ ? "\r\033[K%s" : "%s\n", qPrintable(caption));
  lineOpen_ = terminal_;
  std::fflush(out_);
}

void ProgressPrinter::Show(const ProgressState &progress) {
  const int percent = Percent(progress);
  if (!terminal_) {
    const int tenth = percent / 10;
    if (tenth <= 0 || tenth <= shown_) return;
    shown_ = tenth;
    std::fprintf(out_, "%s %d%%\n", qPrintable(caption_), tenth * 10);
  } else {
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * BarWidth / 100;
    std::fprintf(out_, "\r\033[K%s [%s%s] %3d%%", qPrintable(caption_), QByteArray(filled, '#').constData(),
                 QByteArray(BarWidth - filled, '.').constData(), percent);
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
