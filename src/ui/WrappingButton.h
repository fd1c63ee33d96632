#pragma once
// A push button whose caption wraps within its fixed size, as the restore
// dialog's long "Send and Lock the Controller" needs; text() stays the caption.

#include <QPushButton>

class WrappingButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent *) override;
};
