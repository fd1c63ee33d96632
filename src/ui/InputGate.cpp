#include "InputGate.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>

namespace {

bool IsInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

InputGate::InputGate(QWidget *window) : QObject(window), window_(window) {}

void InputGate::SetShut(bool shut) {
  if (shut == shut_) return;
  shut_ = shut;
  // Watching the whole application costs a call per event; only while shut.
  if (shut_)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

bool InputGate::Guards(QObject *receiver) const {
  auto *widget = qobject_cast<QWidget *>(receiver);
  if (!widget || widget == open_) return false;
  // A menu is a window of its own; it is ours when it hangs from our menu bar,
  // not when it drops from a text box of a dialog we own.
  QWidget *w = widget->window();
  while (qobject_cast<QMenu *>(w) && w->parentWidget()) w = w->parentWidget()->window();
  return w == window_;
}

bool InputGate::eventFilter(QObject *watched, QEvent *event) {
  if (!shut_ || !IsInput(event->type()) || !Guards(watched)) return false;
  // An accepted override tells the shortcut machinery the key is taken.
  if (event->type() == QEvent::ShortcutOverride) event->accept();
  return true;
}
