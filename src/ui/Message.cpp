#include "Message.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QMessageBox>

namespace {

// Qt draws a lone CR as a blank; make it the line break it stands for.
QString Shown(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n'); }

}  // namespace

OfferAnswer AskOffer(QWidget *owner, const QString &text, const QString &other) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(AppTitle), Shown(text),
                  QMessageBox::Yes | QMessageBox::No, owner);
  box.setObjectName(QStringLiteral("offer"));
  box.setDefaultButton(QMessageBox::Yes);
  QAbstractButton *otherButton = other.isEmpty() ? nullptr : box.addButton(other, QMessageBox::ActionRole);
  box.exec();
  if (otherButton && box.clickedButton() == otherButton) return OfferAnswer::Other;
  return box.clickedButton() == box.button(QMessageBox::Yes) ? OfferAnswer::Yes : OfferAnswer::No;
}

void ShowMessage(QWidget *owner, const QString &text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(AppTitle), Shown(text), QMessageBox::Ok,
                  owner);
  box.setObjectName(QStringLiteral("message"));
  box.exec();
}
