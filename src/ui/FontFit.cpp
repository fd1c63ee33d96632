#include "FontFit.h"

#include <QFontMetrics>

namespace {

constexpr qreal SmallestPointSize = 6.0;

}  // namespace

bool CaptionsFit(const QFont &font, const std::vector<CaptionBox> &captions) {
  const QFontMetrics metrics(font);
  for (const CaptionBox &caption : captions) {
    if (caption.Wrapped) {
      const QRect needed = metrics.boundingRect(caption.Box, Qt::TextWordWrap | Qt::AlignCenter,
                                                caption.Text);
      if (needed.width() > caption.Box.width() || needed.height() > caption.Box.height())
        return false;
    } else if (metrics.horizontalAdvance(caption.Text) > caption.Box.width() ||
               metrics.height() > caption.Box.height()) {
      return false;
    }
  }
  return true;
}

QFont FitFont(const QFont &base, const std::vector<CaptionBox> &captions) {
  QFont font = base;
  for (int stretch : {100, int(QFont::SemiCondensed), int(QFont::Condensed)}) {
    font.setStretch(stretch);
    if (CaptionsFit(font, captions)) return font;
  }
  for (qreal size = base.pointSizeF() - 0.5; size >= SmallestPointSize; size -= 0.5) {
    font.setPointSizeF(size);
    if (CaptionsFit(font, captions)) return font;
  }
  return font;
}
