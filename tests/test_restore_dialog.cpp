// The identification write-back and the restore dialog against the simulated
// controller: what the dialog shows, what is written back and in which order,
// and what must never be written.
#include "FailureRecord.h"
#include "ScriptedHost.h"
#include "SimLink.h"
#include "TestFiles.h"
#include "UploadExpect.h"
#include "IdWindows.h"
#include "IdentificationBackup.h"
#include "IdentificationRestore.h"
#include "RestoreDialog.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using namespace expect;

namespace {

const QList<int> WindowOrder = {310, 311, 319, 320, 321, 322, 323, 324, 325};

// Pixels of a clearly red colour in what the widget draws.
int RedPixels(QWidget *widget) {
  const QImage image = widget->grab().toImage();
  int red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 150 && c.green() < 90 && c.blue() < 90) ++red;
    }
  return red;
}

// Anything visible but no red: the label's text is drawn at all.
int DarkPixels(QWidget *widget) {
  const QImage image = widget->grab().toImage();
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).lightness() < 100) ++dark;
  return dark;
}

}  // namespace

class RestoreDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void boxesShowWhatTheBackupRead();
  void boxesShowTheSavedValuesExactly();
  void writeBackWritesEveryWindowInOrderEvenWhenTheFirstFails();
  void emptiedBox_data();
  void emptiedBox();
  void failedReadIsNotWrittenBackUnlessTypedOver_data();
  void failedReadIsNotWrittenBackUnlessTypedOver();
  void correctionGoesToTheControllerOnly();
  void leavingWithoutSendingWritesNothing_data();
  void leavingWithoutSendingWritesNothing();
  void escapeDoesNothing();
  void failedReadIsMarked();
  void blankRowsAreJudged_data();
  void blankRowsAreJudged();
  void sendingCannotBeCutShortOrRepeated();

 private:
  // A fresh controller and a backup read from it, as the upload makes at its start.
  void Backup(const sim::Faults &faults = {});
  void ClearRecords() { link_->Controller->ClearReceived(); }
  IdWindowTexts Saved() const {
    IdWindowTexts texts;
    for (int i = 0; i < IdWindowCount; ++i) texts[i] = rows[i].Value;
    return texts;
  }
  // What the driver hands the dialog for "Send and Lock the Controller".
  RestoreWrite Writer() {
    return [this](const IdWindowTexts &texts) { return RestoreControllerParameters(link_->Port, rows, texts, rec); };
  }

  std::unique_ptr<SimLink> link_;
  IdBackup rows;
  FailureRecord rec;
};

void RestoreDialogTest::init() {
  link_ = std::make_unique<SimLink>();
  QVERIFY2(link_->Start(), qPrintable(link_->Error));
  rows = BlankBackup();
  rec = {};
}

void RestoreDialogTest::Backup(const sim::Faults &faults) {
  link_->Controller->SetFaults(faults);
  ScriptedHost host(link_->Port);
  host.Check = false;
  rows = Into(rec, StoreControllerParameters(link_->Port, host.Frame, host.Check)).Rows;
  link_->Controller->SetFaults({});
  rec = {};
  ClearRecords();
}

void RestoreDialogTest::boxesShowWhatTheBackupRead() {
  Backup();
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
  QCOMPARE(dialog.windowTitle(), QString("Windows Updating"));
  for (int i = 0; i < IdWindowCount; ++i) {
    const QByteArray stored = link_->Controller->Window(WindowOrder[i]);
    QCOMPARE(dialog.ValueBox(i)->text(), QString::fromLatin1(stored));
    QVERIFY(dialog.RowLabel(i)->toolTip().isEmpty());
  }
  // Opening reads nothing from the controller.
  QVERIFY(link_->Controller->Received().isEmpty());
}

void RestoreDialogTest::boxesShowTheSavedValuesExactly() {
  const QList<QByteArray> values = {"-00042", "002500", "  blanks kept  ", "", "\xC4\xD6", "P-2405/17\"x\"",
                                    "C,23,119", "MOD 03", "REV-\xFC"};
  for (int i = 0; i < IdWindowCount; ++i) rows[i].Value = values[i];
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
  for (int i = 0; i < IdWindowCount; ++i) QCOMPARE(dialog.ValueBox(i)->text(), QString::fromLatin1(values[i]));
  // Each opening fills the boxes afresh from the table.
  rows[2].Value = "CHANGED";
  RestoreDialog again(rows, Writer(), QDir::current(), nullptr);
  QCOMPARE(again.ValueBox(2)->text(), QString("CHANGED"));
}

void RestoreDialogTest::writeBackWritesEveryWindowInOrderEvenWhenTheFirstFails() {
  Backup();
  sim::Faults faults;
  faults.ErrorWindow = 310;
  link_->Controller->SetFaults(faults);
  const IdWindowTexts typed = {"000777", "000888", "CU-1", "PMP-2", "S9", "P-3", "C-4", "MOD-5", "REV-6"};

  RestoreControllerParameters(link_->Port, rows, typed, rec);

  QCOMPARE(WrittenWindows(*link_->Controller),
           QList<int>({310, 310, 310, 311, 319, 320, 321, 322, 323, 324, 325}));
  QVERIFY(rec.Flagged);
  QCOMPARE(link_->Controller->Window(310), sim::FactoryWindows().at(310));
  QCOMPARE(link_->Controller->Window(311), QByteArray("000888"));
  for (int i = 2; i < IdWindowCount; ++i) QCOMPARE(link_->Controller->Window(WindowOrder[i]), typed[i]);
}

void RestoreDialogTest::emptiedBox_data() {
  QTest::addColumn<int>("row");
  QTest::addColumn<qint16>("flagBefore");
  QTest::addColumn<qint16>("flagAfter");
  QTest::newRow("text window 323, flag clear") << 6 << qint16(0) << qint16(0);
  QTest::newRow("text window 323, flag already set") << 6 << qint16(-1) << qint16(-1);
  // A number box is sent even when empty, and the controller refuses it.
  QTest::newRow("number window 310 is still sent") << 0 << qint16(0) << qint16(-1);
}

void RestoreDialogTest::emptiedBox() {
  QFETCH(int, row);
  QFETCH(qint16, flagBefore);
  QFETCH(qint16, flagAfter);
  Backup();
  IdWindowTexts texts = Saved();
  texts[row].clear();
  rec.Flagged = flagBefore != 0;

  RestoreControllerParameters(link_->Port, rows, texts, rec);

  const QList<int> written = WrittenWindows(*link_->Controller);
  const int window = WindowOrder[row];
  QCOMPARE(written.count(window), row == 0 ? 3 : 0);
  for (int w : WindowOrder)
    if (w != window) QCOMPARE(written.count(w), 1);
  QCOMPARE(link_->Controller->Window(window), sim::FactoryWindows().at(window));
  QCOMPARE(rec.Flagged, flagAfter != 0);
}

void RestoreDialogTest::failedReadIsNotWrittenBackUnlessTypedOver_data() {
  QTest::addColumn<QByteArray>("typed");  // into the failed row; empty: left as shown
  QTest::newRow("left unchanged: not written") << QByteArray();
  QTest::newRow("typed over: written") << QByteArray("P99-REPLACED");
}

void RestoreDialogTest::failedReadIsNotWrittenBackUnlessTypedOver() {
  QFETCH(QByteArray, typed);
  sim::Faults faults;
  faults.FailReadOfWindow = 322;
  Backup(faults);
  QVERIFY(rows[5].ReadFailed);
  IdWindowTexts texts = Saved();
  QCOMPARE(texts[5], QByteArray("#TIMEOUT#"));
  if (!typed.isEmpty()) texts[5] = typed;

  RestoreControllerParameters(link_->Port, rows, texts, rec);

  const QList<int> written = WrittenWindows(*link_->Controller);
  QCOMPARE(written.count(322), typed.isEmpty() ? 0 : 1);
  QCOMPARE(written.size(), typed.isEmpty() ? 8 : 9);
  QCOMPARE(link_->Controller->Window(322), typed.isEmpty() ? sim::FactoryWindows().at(322) : typed);
  QVERIFY(!rec.Flagged);
}

void RestoreDialogTest::correctionGoesToTheControllerOnly() {
  Backup();
  const QByteArray saved = rows[3].Value;
  {
    RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
    dialog.show();
    QLineEdit *box = dialog.ValueBox(3);
    box->selectAll();
    QTest::keyClicks(box, "PMP-NEW");
    QCOMPARE(box->text(), QString("PMP-NEW"));
    dialog.SendButton()->click();
  }
  QCOMPARE(link_->Controller->Window(320), QByteArray("PMP-NEW"));
  QCOMPARE(rows[3].Value, saved);
  RestoreDialog reopened(rows, Writer(), QDir::current(), nullptr);
  QCOMPARE(reopened.ValueBox(3)->text(), QString::fromLatin1(saved));
}

void RestoreDialogTest::leavingWithoutSendingWritesNothing_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<QString>("answer");  // to the question after an erase; empty: none asked
  QTest::newRow("Cancel") << "cancel" << "";
  QTest::newRow("close button") << "close" << "";
  QTest::newRow("Cancel after an erase, confirmed") << "cancel" << "yes";
  QTest::newRow("close button after an erase, taken back") << "close" << "no";
}

// After an erase a Cancel leaves the controller blank: the dialog asks first,
// naming what stays blank.
void RestoreDialogTest::leavingWithoutSendingWritesNothing() {
  QFETCH(QString, how);
  QFETCH(QString, answer);
  Backup();
  const QString staysBlank = answer.isEmpty() ? QString() : QStringLiteral("every identification window stays blank");
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr, staysBlank);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  dialog.ValueBox(4)->setText("EDITED");
  rec.Flagged = true;
  QString asked;
  QTimer::singleShot(0, [&] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box) return;
    asked = box->text();
    box->button(answer == "yes" ? QMessageBox::Yes : QMessageBox::No)->click();
  });

  if (how == "cancel") dialog.CancelButton()->click();
  else dialog.close();

  QCOMPARE(asked.contains(staysBlank + " in the controller"), !answer.isEmpty());
  QCOMPARE(dialog.isVisible(), answer == "no");
  if (answer != "no") QCOMPARE(dialog.result(), int(QDialog::Rejected));
  QVERIFY(link_->Controller->Received().isEmpty());
  QVERIFY(rec.Flagged);
}

void RestoreDialogTest::escapeDoesNothing() {
  Backup();
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
  dialog.setModal(true);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  dialog.ValueBox(4)->setText("EDITED");
  // Wherever the focus stands: in a box, on either button, on the dialog itself.
  for (QWidget *target : std::initializer_list<QWidget *>{dialog.ValueBox(4), dialog.ValueBox(0), dialog.SendButton(),
                                                          dialog.CancelButton(), &dialog}) {
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY2(dialog.isVisible(), qPrintable(target->objectName()));
  }
  QCOMPARE(dialog.ValueBox(4)->text(), QString("EDITED"));
  QVERIFY(link_->Controller->Received().isEmpty());
  // The ways out that remain still work.
  dialog.CancelButton()->click();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void RestoreDialogTest::failedReadIsMarked() {
  sim::Faults faults;
  faults.FailReadOfWindow = 322;
  Backup(faults);
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));

  QCOMPARE(dialog.ValueBox(5)->text(), QString("#TIMEOUT#"));
  QVERIFY2(dialog.RowLabel(5)->toolTip().contains("#TIMEOUT#"), qPrintable(dialog.RowLabel(5)->toolTip()));
  QVERIFY(RedPixels(dialog.RowLabel(5)) > 0);
  for (int i : {4, 6}) {
    QVERIFY(DarkPixels(dialog.RowLabel(i)) > 0);
    QCOMPARE(RedPixels(dialog.RowLabel(i)), 0);
    QVERIFY(dialog.RowLabel(i)->toolTip().isEmpty());
  }
  // Sent as shown, the failure text stays off the line.
  dialog.SendButton()->click();
  QCOMPARE(WrittenWindows(*link_->Controller).count(322), 0);
  QCOMPARE(WrittenWindows(*link_->Controller).size(), 8);
}

void RestoreDialogTest::blankRowsAreJudged_data() {
  QTest::addColumn<QByteArrayList>("read");  // "#TIMEOUT#": the read failed
  QTest::addColumn<QByteArrayList>("kept");  // in the kept backup; none: there is none
  QTest::addColumn<QList<int>>("red");       // rows
  QTest::addColumn<QList<int>>("keptShown");  // rows whose tooltip holds the kept value
  const QByteArrayList values = {"001234", "002500", "CU-4471-02", "PMP-90211", "S12",
                                 "P24051703", "C23119876", "MOD-03", "REV-C"};
  const QByteArrayList blanks = {"000000", "000000", "", "", "", "", "", "", ""};
  const QList<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  QByteArrayList timedOut = blanks, partly = values, special = values;
  timedOut[2] = "#TIMEOUT#";
  partly[0] = "000000";
  partly[6] = "";
  special[4] = "0";
  QTest::newRow("all blank") << blanks << values << all << all;
  QTest::newRow("one timed out, the rest blank") << timedOut << values << all << QList<int>{0, 1, 3, 4, 5, 6, 7, 8};
  QTest::newRow("partly restored") << partly << values << QList<int>{0, 6} << QList<int>{0, 6};
  QTest::newRow("all blank, no kept backup") << blanks << QByteArrayList() << all << QList<int>();
  QTest::newRow("partly blank, no kept backup") << partly << QByteArrayList() << QList<int>() << QList<int>();
  QTest::newRow("blank where the kept backup is blank too") << special << special << QList<int>() << QList<int>();
}

// A blank is marked when the whole backup is blank, or when a kept backup
// holds a value it would replace; the tooltip then shows that value.
void RestoreDialogTest::blankRowsAreJudged() {
  QFETCH(QByteArrayList, read);
  QFETCH(QByteArrayList, kept);
  QFETCH(QList<int>, red);
  QFETCH(QList<int>, keptShown);
  QTemporaryDir folder;
  if (!kept.isEmpty()) {
    QByteArray text;
    for (int i = 0; i < IdWindowCount; ++i) text += QByteArray(IdWindowLabels[i]) + "\t\t" + kept[i] + "\r\n";
    WriteTestFile(folder.path(), "tmpLogWin-20261207-193012.txt", text);
  }
  for (int i = 0; i < IdWindowCount; ++i) {
    rows[i].Value = read[i];
    rows[i].ReadFailed = read[i] == "#TIMEOUT#";
  }
  const QString saved = QDir::currentPath();
  QVERIFY(QDir::setCurrent(folder.path()));
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
  QVERIFY(QDir::setCurrent(saved));
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));

  for (int i = 0; i < IdWindowCount; ++i) {
    const QString tip = dialog.ValueBox(i)->toolTip();
    QCOMPARE(RedPixels(dialog.RowLabel(i)) > 0, red.contains(i));
    QCOMPARE(tip.isEmpty(), !red.contains(i));
    const bool showsKept = keptShown.contains(i);
    QVERIFY2(tip.contains("but the kept backup " + QDir(folder.path()).filePath("tmpLogWin-20261207-193012.txt") +
                          ", saved 2026-12-07 19:30:12 (Controller P/N CU-4471-02, Controller S/N C23119876, Pump "
                          "S/N P24051703), holds \"" + kept.value(i) + "\" for it") == showsKept,
             qPrintable(QString::number(i) + ": " + tip));
  }
}

void RestoreDialogTest::sendingCannotBeCutShortOrRepeated() {
  Backup();
  // Replies slow enough that the technician can try things between them.
  sim::Faults faults;
  faults.GapMs = 40;
  link_->Controller->SetFaults(faults);
  RestoreDialog dialog(rows, Writer(), QDir::current(), nullptr);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  bool tried = false, closed = true, visibleMeanwhile = false;
  QTimer meddler;
  QObject::connect(&meddler, &QTimer::timeout, [&] {
    if (tried || WrittenWindows(*link_->Controller).size() < 2) return;
    tried = true;
    QTest::mouseClick(dialog.SendButton(), Qt::LeftButton);
    dialog.SendButton()->click();
    dialog.CancelButton()->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    static_cast<QDialog &>(dialog).reject();
    closed = dialog.close();
    visibleMeanwhile = dialog.isVisible();
  });
  meddler.start(0);

  dialog.SendButton()->click();
  meddler.stop();

  QVERIFY(tried);
  QVERIFY(!closed);
  QVERIFY(visibleMeanwhile);
  QCOMPARE(WrittenWindows(*link_->Controller), WindowOrder);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(RestoreDialogTest)
#include "test_restore_dialog.moc"
