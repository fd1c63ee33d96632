#include "Message.h"

#include <QMessageBox>

void ShowMessage(QWidget *owner, const QString &text) {
  QString shown = text;
  // Qt draws a lone CR as a blank; make it the line break it stands for.
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(AppTitle), shown, QMessageBox::Ok,
                  owner);
  box.setObjectName(QStringLiteral("message"));
  box.exec();
}
