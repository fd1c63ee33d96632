#pragma once
// A push button whose caption wraps within its fixed size, as the restore
// dialog's long "Send and Lock the Controller" needs; text() stays the caption.

#include <QPushButton>

class QStyleOptionButton;

class WrappingButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

  static constexpr int CaptionFlags = Qt::AlignCenter | Qt::TextWordWrap;
  // Where the caption is drawn: inside the bevel, clear of the focus frame.
  QRect CaptionRect() const;
  // The height that shows the whole caption, wrapped, at `width`.
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent *) override;

 private:
  QRect CaptionRectIn(const QRect &buttonRect) const;
};
