#include "WindowValueDialog.h"

#include "AppIcon.h"
#include "Message.h"
#include "PortList.h"
#include "PortSearch.h"

#include <QClipboard>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString StateText(const IdentifyRun &run) {
  switch (run.Result) {
    case UploadResult::Uploaded: break;
    case UploadResult::PortNotOpened: return QStringLiteral("The port could not be opened.");
    case UploadResult::ConnectionLost: return QStringLiteral("The connection was lost.");
    default: return QStringLiteral("Not read.");
  }
  if (run.Identity.Contact.Application) return QStringLiteral("The controller's application answers.");
  if (!run.Identity.Answered()) return QStringLiteral("Nothing answers: check the cable and the controller's power.");
  return "The application does not answer, " + AnswererWords(run.Identity.Contact) +
         " does: the program or the parameters are missing or incomplete.";
}

}  // namespace

WindowValueDialog::WindowValueDialog(UploadHost &host, ChoosePort choosePort, const QDir &folder, QWidget *owner)
    : QDialog(owner), host_(host), folder_(folder), choosePort_(std::move(choosePort)) {
  setWindowTitle(QStringLiteral("Windows Value Manager"));
  setWindowIcon(AppIcon());
  auto *form = new QFormLayout;
  lblPort = new QLabel(this);
  lblPort->setObjectName(QStringLiteral("lblPort"));
  lblState = new QLabel(this);
  lblState->setObjectName(QStringLiteral("lblState"));
  lblState->setWordWrap(true);
  form->addRow(QStringLiteral("Port:"), lblPort);
  form->addRow(QStringLiteral("Answers:"), lblState);
  for (int r = 0; r < IdWindowCount; ++r) {
    txtWin[r] = new QLineEdit(this);
    txtWin[r]->setReadOnly(true);
    txtWin[r]->setObjectName(QStringLiteral("txtWin%1").arg(r));
    form->addRow(QString::fromLatin1(IdWindowLabels[r]), txtWin[r]);
  }
  lblLock = new QLabel(this);
  lblLock->setObjectName(QStringLiteral("lblLock"));
  form->addRow(QStringLiteral("Lock (Win 501)"), lblLock);

  cmdRefresh = new QPushButton(QStringLiteral("Refresh"), this);
  cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
  cmdCopy = new QPushButton(QStringLiteral("Copy"), this);
  cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
  cmdClose = new QPushButton(QStringLiteral("Close"), this);
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton *button : {cmdRefresh, cmdCopy, cmdClose}) buttons->addWidget(button);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);

  connect(cmdRefresh, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(cmdCopy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(ReportText()); });
  connect(cmdClose, &QPushButton::clicked, this, [this] { reject(); });
}

void WindowValueDialog::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // Once the dialog is on screen, so the technician sees what is being read.
  QTimer::singleShot(0, this, [this] { Refresh(); });
}

// Closed while it looks: the look ends at once (nothing it does writes to
// the controller) and the dialog goes; it is done with once the look has unwound.
void WindowValueDialog::reject() {
  if (!reading_) return QDialog::reject();
  closing_ = true;
  host_.Port().Stop();
  if (search_) search_->Cancel();
  hide();
}

void WindowValueDialog::SetReading(bool reading) {
  reading_ = reading;
  // Close stays: the technician may leave while it looks.
  for (QPushButton *button : {cmdRefresh, cmdCopy}) button->setEnabled(!reading);
  if (reading) ShowState(QStringLiteral("Reading..."));
}

void WindowValueDialog::Refresh() {
  if (reading_) return;
  SetReading(true);
  const IdentifyRun run = RunIdentify(host_, folder_);
  portName_ = host_.PortName();
  SetReading(false);
  if (closing_) return;
  Show(run);
  if (run.Result == UploadResult::PortNotOpened || (run.Result == UploadResult::Uploaded && !run.Identity.Answered()))
    OfferOtherPorts();
}

void WindowValueDialog::Show(const IdentifyRun &run) {
  last_ = run;
  lblPort->setText(portName_);
  ShowState(StateText(run));
  const bool read = run.Identity.Contact.Application;
  for (int r = 0; r < IdWindowCount; ++r)
    txtWin[r]->setText(read ? QString::fromLatin1(run.Identity.Rows[r].Value) : QString());
  lblLock->setText(read ? LockStateWords(run.Identity.Lock) : QString());
}

// A window grows to its layout's minimum size, which counts one line of a
// wrapped label, not the lines its text takes at the width it has.
void WindowValueDialog::ShowState(const QString &text) {
  lblState->setText(text);
  lblState->setMinimumHeight(lblState->heightForWidth(lblState->width()));
}

QString WindowValueDialog::ReportText() const {
  if (last_.Result != UploadResult::Uploaded) return portName_ + "\n" + StateText(last_);
  return IdentityText(last_.Identity, portName_).replace('\r', '\n');
}

void WindowValueDialog::OfferOtherPorts() {
  QList<NumberedPort> others;
  for (const NumberedPort &port : KnownPorts())
    if (port.Number != host_.ComPort()) others << port;
  if (others.isEmpty()) return;
  if (AskOffer(this, "Nothing answers on " + portName_ + ".\rLook for the controller on the other serial ports?") !=
      OfferAnswer::Yes)
    return;
  SetReading(true);
  PortSearch search;
  search_ = &search;
  const PortVerdict verdict = ChooseAnsweringPort(search.Run(others));
  search_ = nullptr;
  SetReading(false);
  if (closing_) return;
  if (!verdict.Found) {
    ShowMessage(this, verdict.Refusal);
    ShowState(StateText(last_));
    return;
  }
  choosePort_(verdict.Found->Number, PortIdentity(verdict.Found->Device));
  Refresh();
}
