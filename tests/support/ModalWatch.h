#pragma once
// For tests that open a modal window: runs an action on it from inside its
// own event loop, once it is the active modal window.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Watches for the next active modal window of type W and runs `act` on it.
// The returned flag turns true once `act` has run; the watch ends by itself
// after `timeoutMs`, closing whatever modal window is up instead, so a test
// whose window never shows fails instead of hanging.
template <typename W>
std::shared_ptr<bool> OnNextModal(std::function<void(W *)> act, int timeoutMs = 5000) {
  auto done = std::make_shared<bool>(false);
  auto *timer = new QTimer(qApp);
  auto ticks = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [=] {
    if (auto *window = qobject_cast<W *>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      *done = true;
      act(window);
      return;
    }
    if (++*ticks * 10 >= timeoutMs) {
      timer->stop();
      timer->deleteLater();
      if (QWidget *other = QApplication::activeModalWidget()) other->close();
    }
  });
  timer->start(10);
  return done;
}
