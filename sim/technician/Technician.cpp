#include "Technician.h"

#include "ControlChannel.h"
#include "RestoreDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>

Technician::Technician(sim::SimulatedController &controller)
    : Technician([&controller](const QByteArray &command) { sim::RunControlCommand(controller, command, nullptr); }) {}

Technician::Technician(Hands hands) : hands_(std::move(hands)) {
  // Woken by windows being shown rather than by polling, so an unattended
  // upload answers at once and costs no wake-ups in between.
  qApp->installEventFilter(this);
}

Technician::~Technician() { qApp->removeEventFilter(this); }

bool Technician::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Show && watched->isWidgetType() &&
      static_cast<QWidget *>(watched)->isWindow())
    QTimer::singleShot(0, this, [this] { Look(); });
  return false;
}

QByteArray Technician::PromptAction(const QString &text) {
  if (text.contains("create a short circuit between pins 5 and 9")) return "bridge-and-cycle";
  if (text.contains("remove the short circuit between pins 5 and 9") ||
      text.startsWith("Switch OFF and switch ON the controller.") || text.startsWith("Controller in monitor mode."))
    return "unbridge-and-cycle";
  return {};
}

void Technician::FollowPrompt(sim::SimulatedController &controller, const QString &text) {
  const QByteArray command = PromptAction(text);
  if (!command.isEmpty()) sim::RunControlCommand(controller, command, nullptr);
}

void Technician::Look() {
  QWidget *modal = QApplication::activeModalWidget();
  if (!modal || modal == handled_) return;
  if (auto *box = qobject_cast<QMessageBox *>(modal)) {
    handled_ = modal;
    Answer(*box);
  } else if (auto *dialog = qobject_cast<RestoreDialog *>(modal)) {
    handled_ = modal;
    Answer(*dialog);
  }
}

void Technician::Answer(QMessageBox &box) {
  const QString text = box.text();
  Messages << text;
  if (OnMessage) OnMessage(text);
  const QByteArray command = PromptAction(text);
  if (FollowsPrompts && !command.isEmpty()) hands_(command);
  QAbstractButton *button = box.button(QMessageBox::Ok);
  if (!button) button = box.button(AcceptsOffers ? QMessageBox::Yes : QMessageBox::No);
  // Clicked from the box's own loop, once this look has returned.
  QTimer::singleShot(0, button, &QAbstractButton::click);
}

void Technician::Answer(RestoreDialog &dialog) {
  ++RestoreDialogsShown;
  if (OnRestoreDialog) OnRestoreDialog(dialog);
  QAbstractButton *button = SendRestore ? dialog.SendButton() : dialog.CancelButton();
  QTimer::singleShot(0, button, &QAbstractButton::click);
}
