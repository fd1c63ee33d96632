#pragma once
// Plays the service technician for unattended uploads: reads each message
// box, does with the simulated controller what it asks (power off, bridge
// pins 5 and 9, power on), clicks OK, and sends the restore dialog. The
// controller is in this process, or another program's behind its control
// channel (the hands then send it the channel's commands).

#include "SimulatedController.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QMessageBox;
class RestoreDialog;

class Technician : public QObject {
 public:
  // Acts with a control channel's command: cycle, bridge-and-cycle, unbridge-and-cycle.
  using Hands = std::function<void(const QByteArray &command)>;

  explicit Technician(sim::SimulatedController &controller);
  explicit Technician(Hands hands);
  ~Technician() override;

  // Every message box text, in order, lines joined by "\n".
  QStringList Messages;
  int RestoreDialogsShown = 0;

  // Does what a prompt asks; turn off to drive the controller by hand.
  bool FollowsPrompts = true;
  // Called with each message's text before its OK is clicked.
  std::function<void(const QString &)> OnMessage;
  // Called when the restore dialog opens; by default "Send and Lock the
  // Controller" is clicked after it returns. Set SendRestore false to cancel.
  std::function<void(RestoreDialog &)> OnRestoreDialog;
  bool SendRestore = true;
  // A question box (Yes and No) is answered Yes unless this is false.
  bool AcceptsOffers = true;

  // The last message shown, or empty.
  QString LastMessage() const { return Messages.isEmpty() ? QString() : Messages.last(); }

  // What a prompt asks of the technician's hands, as a control channel's
  // command; empty when it asks nothing of them.
  static QByteArray PromptAction(const QString &text);
  static void FollowPrompt(sim::SimulatedController &controller, const QString &text);

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void Look();
  void Answer(QMessageBox &box);
  void Answer(RestoreDialog &dialog);

  Hands hands_;
  QPointer<QWidget> handled_;
};
