#include "WrappingButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

// A height no caption of a fixed-size button comes near.
constexpr int ProbeHeight = 1000;

}  // namespace

// The focus frame is drawn over the contents: a caption that ran into it
// would be struck through while the button has the focus.
QRect WrappingButton::CaptionRectIn(const QRect &buttonRect) const {
  QStyleOptionButton option;
  initStyleOption(&option);
  option.rect = buttonRect;
  option.state |= QStyle::State_HasFocus;
  const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  const QRect focus = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
  return contents & focus.adjusted(1, 1, -1, -1);
}

QRect WrappingButton::CaptionRect() const { return CaptionRectIn(rect()); }

int WrappingButton::heightForWidth(int width) const {
  const QRect caption = CaptionRectIn(QRect(0, 0, width, ProbeHeight));
  const QRect lines = fontMetrics().boundingRect(QRect(0, 0, caption.width(), ProbeHeight), CaptionFlags, text());
  return lines.height() + ProbeHeight - caption.height();
}

void WrappingButton::paintEvent(QPaintEvent *) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);
  painter.drawText(CaptionRect(), CaptionFlags, text());
}
