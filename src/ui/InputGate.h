#pragma once
// While shut, swallows every input event aimed at one window: its widgets and
// the menus that drop from its menu bar. Dialogs and message boxes the window
// owns stay usable, so an upload can still ask the technician.

#include <QObject>

class QWidget;

class InputGate : public QObject {
 public:
  explicit InputGate(QWidget *window);

  void SetShut(bool shut);
  // A control of the window that stays usable while shut: the way to give up a wait.
  void LetThrough(QWidget *control) { open_ = control; }

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  bool Guards(QObject *receiver) const;

  QWidget *window_;
  bool shut_ = false;
  QWidget *open_ = nullptr;
};
