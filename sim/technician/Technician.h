#pragma once
// Plays the service technician for unattended uploads: reads each message
// box, does with the simulated controller what it asks (power off, bridge
// pins 5 and 9, power on), clicks OK, and sends the restore dialog.

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
  explicit Technician(sim::SimulatedController &controller);
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

  // What the prompts ask of the technician's hands.
  static void FollowPrompt(sim::SimulatedController &controller, const QString &text);

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void Look();
  void Answer(QMessageBox &box);
  void Answer(RestoreDialog &dialog);

  sim::SimulatedController &controller_;
  QPointer<QWidget> handled_;
};
