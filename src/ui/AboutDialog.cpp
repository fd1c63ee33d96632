#include "AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "FontFit.h"
#include "Twips.h"
#include "Version.h"

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
}

void AboutDialog::ShowRelease() {
  // Loading appends the release; a new box each showing keeps it to one.
  lblRelease->setText(lblRelease->text() + QStringLiteral(" ") + AppVersion());

  QFont releaseFont = lblRelease->font();
  releaseFont.setPointSize(12);
  lblRelease->setFont(FitFont(releaseFont, {{lblRelease->text(), lblRelease->geometry(), true}}));
}
