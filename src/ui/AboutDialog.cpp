#include "AboutDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "FontFit.h"
#include "Message.h"
#include "Twips.h"
#include "Version.h"

QString LicenceNotice() {
  QString text = QStringLiteral("Calvenori Uploader uses Qt %1 under the GNU Lesser General Public License, "
                                "version 3 (LGPL-3.0).\r\r")
                     .arg(QString::fromLatin1(qVersion()));
#ifdef Q_OS_WIN
  // The kit keeps the programs in bin\ and the notices beside that folder.
  const QString notices = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../THIRD-PARTY-NOTICES.txt");
  return text + QStringLiteral("The licences of Qt and of the other libraries that come with the program, and "
                               "where their source is, are in %1.")
                    .arg(QDir::toNativeSeparators(notices));
#else
  return text + QStringLiteral("Qt's licences and copyright notices are in its Debian package's "
                               "/usr/share/doc/libqt6core6/copyright.");
#endif
}

AboutDialog::AboutDialog(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("Software Release"));
  setFixedSize(TwipsToPixels(3660), TwipsToPixels(1770));
  BuildControls();
  ShowRelease();
}

void AboutDialog::BuildControls() {
  lblRelease = new QLabel(QStringLiteral("Calvenori Uploader Software Release"), this);
  lblRelease->setObjectName(QStringLiteral("lblRelease"));
  lblRelease->setGeometry(TwipsRect(480, 240, 2655, 735));
  lblRelease->setAlignment(Qt::AlignCenter);
  lblRelease->setWordWrap(true);

  cmdOk = new QPushButton(QStringLiteral("OK"), this);
  cmdOk->setObjectName(QStringLiteral("cmdOk"));
  cmdOk->setGeometry(TwipsRect(960, 1200, 1695, 375));
  cmdOk->setDefault(true);
  cmdOk->setFocus();
  connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);

  // In the free corner right of OK, level with it.
  cmdLicences = new QPushButton(QStringLiteral("Licences"), this);
  cmdLicences->setObjectName(QStringLiteral("cmdLicences"));
  cmdLicences->setGeometry(TwipsRect(2745, 1200, 825, 375));
  const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, cmdLicences);
  cmdLicences->setFont(
      FitFont(font(), {{cmdLicences->text(), cmdLicences->geometry().adjusted(margin, 0, -margin, 0), false}}));
  connect(cmdLicences, &QPushButton::clicked, this, [this] { ShowMessage(this, LicenceNotice()); });
}

void AboutDialog::ShowRelease() {
  // Loading appends the release; a new box each showing keeps it to one.
  lblRelease->setText(lblRelease->text() + QStringLiteral(" ") + AppVersion());

  QFont releaseFont = lblRelease->font();
  releaseFont.setPointSize(12);
  lblRelease->setFont(FitFont(releaseFont, {{lblRelease->text(), lblRelease->geometry(), true}}));
}
