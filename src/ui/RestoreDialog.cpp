#include "RestoreDialog.h"

#include "FontFit.h"
#include "Message.h"
#include "KeptBackups.h"
#include "Twips.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "IdentificationRestore.h"
#include "WrappingButton.h"

#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// A blank sent as shown replaces the kept value, which is what the tooltip
// has to say before the technician sends.
QString BlankRowWhy(const BlankVerdict &blanks, int row) {
  QStringList why;
  if (blanks.Erased)
    why << QStringLiteral("Every window read zero or empty, as an erased controller answers: these are not this "
                          "controller's values.");
  if (const std::optional<KeptValue> &kept = blanks.Suspect[row])
    why << QStringLiteral("This window read zero or empty, but the kept backup %1, saved %2 (%3), holds \"%4\" for "
                          "it: sent as shown, the blank replaces that value.")
               .arg(QDir::toNativeSeparators(kept->From.Path), kept->From.Saved.toString("yyyy-MM-dd HH:mm:ss"),
                    DescribeIdentity(kept->From.Identity), QString::fromLatin1(kept->Value));
  return why.join(' ');
}

int LabelWidth(int row) { return row == 4 ? 2415 : 2055; }
int LabelHeight(int row) { return row >= 7 ? 495 : 255; }

}  // namespace

RestoreDialog::RestoreDialog(const IdBackup &rows, RestoreWrite write, const QDir &folder, QWidget *owner,
                             const QString &staysBlank)
    : QDialog(owner), folder_(folder), rows_(rows), write_(std::move(write)), staysBlank_(staysBlank) {
  setObjectName("frmUpdateWin");
  setWindowTitle("Windows Updating");
  setFixedSize(TwipsToPixels(4815), TwipsToPixels(6390));
  setAttribute(Qt::WA_DeleteOnClose, false);
  for (int i = 0; i < IdWindowCount; ++i) {
    lblWin[i] = new QLabel(QString::fromLatin1(IdWindowLabels[i]), this);
    lblWin[i]->setObjectName(QString("lblWin%1").arg(i));
    lblWin[i]->setWordWrap(true);
    lblWin[i]->setGeometry(TwipsRect(240, 300 + 600 * i, LabelWidth(i), LabelHeight(i)));
    txtWin[i] = new QLineEdit(this);
    txtWin[i]->setObjectName(QString("txtWin%1").arg(i));
    txtWin[i]->setGeometry(TwipsRect(2760, 240 + 600 * i, 1815, 375));
    lblWin[i]->setBuddy(txtWin[i]);
  }
  cmdCancel = new QPushButton("Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setGeometry(TwipsRect(600, 5760, 1455, 495));
  auto *send = new WrappingButton("Send and Lock the Controller", this);
  cmdSend = send;
  cmdSend->setObjectName("cmdSend");
  cmdSend->setGeometry(TwipsRect(2760, 5760, 1455, 495));
  cmdSend->setAutoDefault(false);
  cmdCancel->setAutoDefault(false);

  FitLabels();
  FitButtons(*send);

  for (int i = 1; i < IdWindowCount; ++i) setTabOrder(txtWin[i - 1], txtWin[i]);
  setTabOrder(txtWin[IdWindowCount - 1], cmdSend);
  setTabOrder(cmdSend, cmdCancel);
  txtWin[0]->setFocus();

  connect(cmdSend, &QPushButton::clicked, this, [this] { Send(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
  ShowBackup();
}

// The labels' boxes were drawn for a narrow 8-point font; wider faces would
// cut the long window names off.
void RestoreDialog::FitLabels() {
  std::vector<CaptionBox> captions;
  for (QLabel *label : lblWin) captions.push_back({label->text(), label->geometry(), true});
  const QFont fitted = FitFont(font(), captions);
  for (QLabel *label : lblWin) label->setFont(fitted);
}

// The buttons were drawn two lines of the narrow font high. A face with
// taller lines gets the height the wrapped caption needs, Cancel beside it
// the same, and the dialog grows to keep its margin below them.
void RestoreDialog::FitButtons(const WrappingButton &send) {
  const int extra = send.heightForWidth(send.width()) - send.height();
  if (extra <= 0) return;
  for (QPushButton *button : {cmdSend, cmdCancel}) button->resize(button->width(), button->height() + extra);
  setFixedSize(width(), height() + extra);
}

void RestoreDialog::ShowBackup() {
  const BlankVerdict blanks = JudgeBlanks(rows_, KeptValuesIn(folder_));
  for (int i = 0; i < IdWindowCount; ++i) {
    txtWin[i]->setText(QString::fromLatin1(rows_[i].Value));
    if (rows_[i].ReadFailed)
      MarkRow(i, "The backup could not read this window: " + QString::fromLatin1(rows_[i].Value) +
                     ". Left unchanged, it is not written.");
    else if (blanks.Erased || blanks.Suspect[i])
      MarkRow(i, BlankRowWhy(blanks, i));
  }
}

void RestoreDialog::MarkRow(int row, QString why) {
  lblWin[row]->setStyleSheet("color: red");
  const QString rescue = RescueBackupLine(folder_);
  if (!rescue.isEmpty()) why += "\n" + rescue;
  lblWin[row]->setToolTip(why);
  txtWin[row]->setToolTip(why);
}

void RestoreDialog::Send() {
  if (sending_) return;
  sending_ = true;
  cmdSend->setEnabled(false);
  cmdCancel->setEnabled(false);
  IdWindowTexts texts;
  for (int i = 0; i < IdWindowCount; ++i) texts[i] = txtWin[i]->text().toLatin1();
  const RestoreRound round = write_(texts);
  sending_ = false;
  if (round != RestoreRound::Unanswered) return accept();
  cmdSend->setEnabled(true);
  cmdCancel->setEnabled(true);
}

// Neither Escape nor the close button may cut the writes short; after an
// erase a Cancel leaves the controller without its identification values,
// which the technician is asked to confirm.
void RestoreDialog::reject() {
  if (sending_) return;
  if (!staysBlank_.isEmpty() &&
      AskOffer(this, "Cancel writes nothing back, so " + staysBlank_ +
                         " in the controller, and the upload ends unfinished.\rCancel all the same?") != OfferAnswer::Yes)
    return;
  QDialog::reject();
}

// After a full upload this dialog is the only way the identification values get
// back into the controller; one stray keystroke must not throw them away.
void RestoreDialog::keyPressEvent(QKeyEvent *event) {
  if (event->matches(QKeySequence::Cancel)) return event->accept();
  QDialog::keyPressEvent(event);
}

void RestoreDialog::closeEvent(QCloseEvent *event) {
  if (sending_) event->ignore();
  else QDialog::closeEvent(event);
}
