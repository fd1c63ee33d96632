// Every text of the main window, the restore dialog, the port dialog, the
// About box and the Windows Value Manager against the box it is drawn in,
// measured as the widget and its style lay it out, with the platform's own
// fonts: fontconfig's natively, Wine's in the Windows build.
//
// The scale is the program's argument "-scale PERCENT" (100 when not given):
// Qt takes it once, as the application is made, and Wine hands a Windows
// program no QT_* variable. One run per scale.

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSemaphore>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "AboutDialog.h"
#include "FontFit.h"
#include "IdWindows.h"
#include "MainWindow.h"
#include "PortDialog.h"
#include "PortList.h"
#include "RestoreDialog.h"
#include "SerialPort.h"
#include "WindowValueDialog.h"
#include "WrappingButton.h"

namespace {

// One text, where it lands as its widget lays it out and where it can be
// seen, in the widget's own coordinates.
struct DrawnText {
  QString Widget;  // the object name; the class when it has none
  QString Text;
  QRect Needed;
  QRect Given;
};

// A widget fills the style option it paints with in a protected function.
template <typename W, typename O>
struct OptionOf : W {
  static O Of(const W *widget) {
    O option;
    (widget->*&OptionOf::initStyleOption)(&option);
    return option;
  }
};

struct ViewOption : QAbstractItemView {
  static QStyleOptionViewItem Of(const QAbstractItemView *view) {
    QStyleOptionViewItem option;
    (view->*&ViewOption::initViewItemOption)(&option);
    return option;
  }
};

QString NameOf(const QWidget *widget) {
  return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                        : widget->objectName();
}

// What of `box` (in `widget`'s coordinates) its window shows: each parent up
// to the window cuts it to its own rectangle.
QRect ShownPart(const QWidget *widget, const QRect &box) {
  const QWidget *window = widget->window();
  const QPoint origin = widget->mapTo(window, QPoint(0, 0));
  QRect shown = box.translated(origin);
  for (const QWidget *w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget())
    shown &= QRect(w->mapTo(window, QPoint(0, 0)), w->size());
  return shown.translated(-origin);
}

// The caption is centred in the contents, inside the bevel; the focus frame
// is drawn over that box, so the caption has to stay clear of it too.
DrawnText ButtonText(const QPushButton *button) {
  QStyleOptionButton option = OptionOf<QPushButton, QStyleOptionButton>::Of(button);
  option.state |= QStyle::State_HasFocus;
  const QStyle *style = button->style();
  const QRect contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  const QRect insideFocus =
      style->subElementRect(QStyle::SE_PushButtonFocusRect, &option, button).adjusted(1, 1, -1, -1);
  int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  QRect laidOut = contents;
  if (const auto *wrapping = qobject_cast<const WrappingButton *>(button)) {
    flags = WrappingButton::CaptionFlags;
    laidOut = wrapping->CaptionRect();
  }
  return {NameOf(button), button->text(), button->fontMetrics().boundingRect(laidOut, flags, button->text()),
          ShownPart(button, contents & insideFocus)};
}

// Radio buttons and check boxes: left of the indicator, centred vertically.
template <typename B>
DrawnText IndicatorButtonText(const B *button, QStyle::SubElement contentsElement) {
  const QStyleOptionButton option = OptionOf<B, QStyleOptionButton>::Of(button);
  const QRect contents = button->style()->subElementRect(contentsElement, &option, button);
  const int flags = int(QStyle::visualAlignment(button->layoutDirection(), Qt::AlignLeft | Qt::AlignVCenter)) |
                    Qt::TextShowMnemonic;
  return {NameOf(button), button->text(), button->fontMetrics().boundingRect(contents, flags, button->text()),
          ShownPart(button, contents)};
}

// In the contents, less the margin and, for a framed label without an indent
// of its own, half an "x" on the aligned side.
DrawnText LabelText(const QLabel *label) {
  const int margin = label->margin();
  QRect box = label->contentsRect().adjusted(margin, margin, -margin, -margin);
  const Qt::Alignment align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
  int indent = label->indent();
  if (indent < 0 && label->frameWidth() > 0)
    indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin;
  if (indent > 0) {
    if (align & Qt::AlignLeft) box.setLeft(box.left() + indent);
    if (align & Qt::AlignRight) box.setRight(box.right() - indent);
    if (align & Qt::AlignTop) box.setTop(box.top() + indent);
    if (align & Qt::AlignBottom) box.setBottom(box.bottom() - indent);
  }
  const int flags = int(align) | (label->wordWrap() ? Qt::TextWordWrap : 0) |
                    (label->buddy() ? Qt::TextShowMnemonic : 0);
  return {NameOf(label), label->text(), label->fontMetrics().boundingRect(box, flags, label->text()),
          ShownPart(label, box)};
}

// One line in the contents, two pixels clear of either side; a longer value
// scrolls, which hides a part of it all the same.
DrawnText LineEditText(const QLineEdit *edit) {
  const QStyleOptionFrame option = OptionOf<QLineEdit, QStyleOptionFrame>::Of(edit);
  const QRect contents = edit->style()
                             ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                             .marginsRemoved(edit->textMargins());
  const QRect line = contents.adjusted(2, 0, -2, 0);
  const QFontMetrics metrics = edit->fontMetrics();
  const QSize size(metrics.horizontalAdvance(edit->text()),
                   qMax(metrics.height(), metrics.boundingRect(edit->text()).height()));
  return {NameOf(edit), edit->text(), QStyle::alignedRect(edit->layoutDirection(), edit->alignment(), size, line),
          ShownPart(edit, line)};
}

// The style sizes the title's box to the title in the font it draws it with.
DrawnText GroupBoxTitle(const QGroupBox *box) {
  const QStyleOptionGroupBox option = OptionOf<QGroupBox, QStyleOptionGroupBox>::Of(box);
  const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
  return {NameOf(box), box->title(), title, ShownPart(box, title)};
}

// Each entry's text centred on one line in its item; an entry pushed into
// the bar's extension has no item.
void AddMenuBarEntries(const QMenuBar *bar, std::vector<DrawnText> &texts) {
  for (QAction *action : bar->actions()) {
    if (!action->isVisible() || action->isSeparator()) continue;
    const QRect item = bar->actionGeometry(action);
    const int flags = Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    const QString name = action->menu() ? action->menu()->objectName() : action->objectName();
    texts.push_back({NameOf(bar) + "/" + name, action->text(),
                     bar->fontMetrics().boundingRect(item, flags, action->text()), ShownPart(bar, item)});
  }
}

// Each row needs what its delegate asks for.
void AddRows(const QAbstractItemView *view, std::vector<DrawnText> &texts) {
  const QAbstractItemModel *model = view->model();
  if (!model) return;
  QStyleOptionViewItem option = ViewOption::Of(view);
  for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
    for (int column = 0; column < model->columnCount(view->rootIndex()); ++column) {
      const QModelIndex index = model->index(row, column, view->rootIndex());
      option.rect = view->visualRect(index);
      const QSize needed = view->itemDelegateForIndex(index)->sizeHint(option, index);
      texts.push_back({QStringLiteral("%1 row %2").arg(NameOf(view)).arg(row), index.data().toString(),
                       QRect(option.rect.topLeft(), needed), ShownPart(view->viewport(), option.rect)});
    }
}

// Every text `window` shows now.
std::vector<DrawnText> TextsOf(const QWidget *window) {
  std::vector<DrawnText> texts;
  for (const QWidget *widget : window->findChildren<QWidget *>()) {
    if (!widget->isVisibleTo(window)) continue;
    if (const auto *button = qobject_cast<const QPushButton *>(widget)) texts.push_back(ButtonText(button));
    else if (const auto *radio = qobject_cast<const QRadioButton *>(widget))
      texts.push_back(IndicatorButtonText(radio, QStyle::SE_RadioButtonContents));
    else if (const auto *check = qobject_cast<const QCheckBox *>(widget))
      texts.push_back(IndicatorButtonText(check, QStyle::SE_CheckBoxContents));
    else if (const auto *label = qobject_cast<const QLabel *>(widget)) texts.push_back(LabelText(label));
    else if (const auto *edit = qobject_cast<const QLineEdit *>(widget)) texts.push_back(LineEditText(edit));
    else if (const auto *box = qobject_cast<const QGroupBox *>(widget)) texts.push_back(GroupBoxTitle(box));
    else if (const auto *bar = qobject_cast<const QMenuBar *>(widget)) AddMenuBarEntries(bar, texts);
    else if (const auto *view = qobject_cast<const QAbstractItemView *>(widget)) AddRows(view, texts);
  }
  texts.erase(std::remove_if(texts.begin(), texts.end(), [](const DrawnText &t) { return t.Text.isEmpty(); }),
              texts.end());
  return texts;
}

QString Describe(const QRect &box) {
  return QStringLiteral("%1x%2 at (%3,%4)").arg(box.width()).arg(box.height()).arg(box.x()).arg(box.y());
}

int ScalePercent() { return qRound(QGuiApplication::primaryScreen()->devicePixelRatio() * 100); }

// Each text of `window` that does not show whole, with what it needs and gets.
QStringList Clipped(const QString &windowName, const std::vector<DrawnText> &texts) {
  QStringList clipped;
  for (const DrawnText &text : texts)
    if (!text.Given.contains(text.Needed))
      clipped << QStringLiteral("%1, %2 \"%3\" at %4 %: needs %5, given %6")
                     .arg(windowName, text.Widget, text.Text)
                     .arg(ScalePercent())
                     .arg(Describe(text.Needed), Describe(text.Given));
  return clipped;
}

// Every text whole, and each of `names` among those measured: a widget the
// measuring passed over would let its clip through.
void CheckTexts(const QString &windowName, const QWidget *window, const QStringList &names) {
  // A window's resize of itself reaches its widgets with the window system's
  // next events: they may settle first; what is still clipped then is named.
  static_cast<void>(QTest::qWaitFor([&] { return Clipped(windowName, TextsOf(window)).isEmpty(); }, 1000));
  const std::vector<DrawnText> texts = TextsOf(window);
  QStringList measured;
  for (const DrawnText &text : texts) measured << text.Widget;
  for (const QString &name : names)
    QVERIFY2(measured.contains(name),
             qPrintable(windowName + ": " + name + " not measured among " + measured.join(' ')));
  const QStringList clipped = Clipped(windowName, texts);
  QVERIFY2(clipped.isEmpty(), qPrintable("\n" + clipped.join('\n')));
}

void Show(QWidget &window) {
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
}

// The values as wide as the controller keeps them: ten characters, four for
// window 321.
IdBackup FullBackup() {
  IdBackup rows = BlankBackup();
  const char *const values[IdWindowCount] = {"001234",     "002500",     "CU-4471-02", "PMP-902118", "S12W",
                                             "P240517039", "C231198765", "MOD-03-WWM", "REV-C-WMMW"};
  for (int i = 0; i < IdWindowCount; ++i) rows[i].Value = values[i];
  return rows;
}

// A port whose open does not come back until released, as some Bluetooth
// ports do: the dialog names it as not answering.
struct SilentPort {
  QSemaphore Release;
  QPointer<QThread> Thread;
};

enum class Sample { Label, WrappedLabel, Button, WrappingButton, Radio, LineEdit };

// A widget of the kind, with a caption of the windows', at a size it fits in.
QWidget *MakeSample(Sample kind, QWidget *host) {
  QWidget *widget = nullptr;
  switch (kind) {
    case Sample::Label: widget = new QLabel(QStringLiteral("Select Parameter List:"), host); break;
    case Sample::WrappedLabel: {
      auto *label = new QLabel(QStringLiteral("Controller Modific. Level (Win 325)"), host);
      label->setWordWrap(true);
      label->resize(100, label->heightForWidth(100));
      widget = label;
      break;
    }
    case Sample::Button: widget = new QPushButton(QStringLiteral("Start Upload"), host); break;
    case Sample::WrappingButton: {
      auto *button = new WrappingButton(QStringLiteral("Send and Lock the Controller"), host);
      button->resize(97, button->heightForWidth(97));
      widget = button;
      break;
    }
    case Sample::Radio: widget = new QRadioButton(QStringLiteral("Upload Parameter List"), host); break;
    case Sample::LineEdit: widget = new QLineEdit(QStringLiteral("CU-4471-02"), host); break;
  }
  widget->setObjectName(QStringLiteral("sample"));
  if (kind != Sample::WrappedLabel && kind != Sample::WrappingButton) widget->resize(widget->sizeHint());
  return widget;
}

}  // namespace

Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(Step)

class TextFitTest : public QObject {
  Q_OBJECT

 public:
  explicit TextFitTest(int percent) : percent_(percent) {}

 private slots:
  void initTestCase();
  void aClippedTextIsNamed_data();
  void aClippedTextIsNamed();
  void fontFitWeighsWidthAndHeight_data();
  void fontFitWeighsWidthAndHeight();
  void mainWindow_data();
  void mainWindow();
  void restoreDialog();
  void portDialog();
  void aboutBox();
  void windowValueManager_data();
  void windowValueManager();

 private:
  int percent_;
};

// The scale took, and the log tells what the texts were measured in.
void TextFitTest::initTestCase() {
  QCOMPARE(ScalePercent(), percent_);
  // The Windows style rolls a list open over a few frames: measured at once,
  // its lower rows are not shown yet.
  QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
  const QFont font = QApplication::font();
  const QScreen *screen = QGuiApplication::primaryScreen();
  qInfo("%s platform, %s style, %s %g pt, %d DPI, scale %d %%, screen %dx%d",
        qPrintable(QGuiApplication::platformName()), qPrintable(QApplication::style()->name()),
        qPrintable(QFontInfo(font).family()), font.pointSizeF(), qRound(screen->logicalDotsPerInch()), percent_,
        screen->geometry().width(), screen->geometry().height());
}

void TextFitTest::aClippedTextIsNamed_data() {
  QTest::addColumn<Sample>("kind");
  QTest::addColumn<qreal>("widthShare");
  QTest::addColumn<qreal>("heightShare");
  QTest::newRow("label, narrow") << Sample::Label << 0.8 << 1.0;
  QTest::newRow("label, low") << Sample::Label << 1.0 << 0.6;
  QTest::newRow("wrapped label, low") << Sample::WrappedLabel << 1.0 << 0.6;
  QTest::newRow("button, narrow") << Sample::Button << 0.5 << 1.0;
  QTest::newRow("button, low") << Sample::Button << 1.0 << 0.6;
  QTest::newRow("wrapping button, low") << Sample::WrappingButton << 0.5 << 0.5;
  QTest::newRow("radio button, narrow") << Sample::Radio << 0.8 << 1.0;
  QTest::newRow("radio button, low") << Sample::Radio << 1.0 << 0.6;
  QTest::newRow("line edit, narrow") << Sample::LineEdit << 0.4 << 1.0;
  QTest::newRow("line edit, low") << Sample::LineEdit << 1.0 << 0.5;
}

// Whole at a size the widget asks for; named once a share of it is taken away.
void TextFitTest::aClippedTextIsNamed() {
  QFETCH(Sample, kind);
  QFETCH(qreal, widthShare);
  QFETCH(qreal, heightShare);
  QWidget host;
  host.resize(400, 200);
  QWidget *sample = MakeSample(kind, &host);
  Show(host);
  QCOMPARE(Clipped("sample", TextsOf(&host)), QStringList());

  const QSize roomy = sample->size();
  sample->resize(qRound(roomy.width() * widthShare), qRound(roomy.height() * heightShare));
  const QStringList clipped = Clipped("sample", TextsOf(&host));
  QCOMPARE(clipped.size(), 1);
  QVERIFY2(clipped[0].startsWith("sample, sample \""), qPrintable(clipped[0]));
}

void TextFitTest::fontFitWeighsWidthAndHeight_data() {
  QTest::addColumn<bool>("wrapped");
  QTest::addColumn<int>("widthSpare");
  QTest::addColumn<int>("heightSpare");
  QTest::newRow("one line, exact") << false << 0 << 0;
  QTest::newRow("one line, a pixel narrow") << false << -1 << 0;
  QTest::newRow("one line, a pixel low") << false << 0 << -1;
  QTest::newRow("wrapped, exact") << true << 0 << 0;
  QTest::newRow("wrapped, a pixel low") << true << 0 << -1;
}

// A box the caption needs exactly fits; a pixel less either way does not,
// and the font fitted to it then does.
void TextFitTest::fontFitWeighsWidthAndHeight() {
  QFETCH(bool, wrapped);
  QFETCH(int, widthSpare);
  QFETCH(int, heightSpare);
  const QFont font = QApplication::font();
  const QFontMetrics metrics(font);
  const QString text = QStringLiteral("Upload Parameter List and Program File");
  QSize exact(metrics.horizontalAdvance(text), metrics.height());
  if (wrapped) {
    exact.setWidth(exact.width() / 2);
    const QRect column(0, 0, exact.width(), 1000);
    exact.setHeight(metrics.boundingRect(column, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, text).height());
  }
  const std::vector<CaptionBox> captions = {
      {text, QRect(QPoint(), exact + QSize(widthSpare, heightSpare)), wrapped}};
  const bool roomy = widthSpare >= 0 && heightSpare >= 0;
  QCOMPARE(CaptionsFit(font, captions), roomy);
  const QFont fitted = FitFont(font, captions);
  QVERIFY(CaptionsFit(fitted, captions));
  const bool changed = fitted.pointSizeF() < font.pointSizeF() || (fitted.stretch() > 0 && fitted.stretch() < 100);
  QCOMPARE(changed, !roomy);
}

void TextFitTest::mainWindow_data() {
  QTest::addColumn<Step>("step");
  for (Step step : {Step::StoringParameters, Step::ClearingFlash, Step::ClearingEeprom, Step::EnteringProgramming,
                    Step::SendingProgram, Step::EnteringMonitor, Step::SendingCrc, Step::SendingParameters,
                    Step::VerifyingParameters, Step::Identifying})
    QTest::newRow(qPrintable(StepCaption(step))) << step;
}

// As an upload shows it: the status frame in view, with each step's caption.
void TextFitTest::mainWindow() {
  QFETCH(Step, step);
  MainWindow window;
  window.UploadStarted();
  window.SetStep(step);
  // Wine's display is 1024x768 pixels, 512x384 at 200 %, and Windows cuts a
  // window to its screen: its width kept, this one runs past the screen as
  // it would not on any display that offers the scale.
  window.setMinimumWidth(window.width());
  Show(window);
  CheckTexts("main window", &window,
             {"optParameterList", "optAll", "cmdStartDownload", "lblParameterList", "cmdParameterPath",
              "lblProgramfile", "cmdProgramPath", "fraDownloadStatus", "lblStepDescription", "QMenuBar/mnuTools",
              "QMenuBar/mnuAbout"});
}

void TextFitTest::restoreDialog() {
  QTemporaryDir folder;
  RestoreDialog dialog(FullBackup(), [](const IdWindowTexts &) { return RestoreRound::Written; },
                       QDir(folder.path()), nullptr);
  Show(dialog);
  QStringList names = {"cmdSend", "cmdCancel"};
  for (int i = 0; i < IdWindowCount; ++i)
    names << QStringLiteral("lblWin%1").arg(i) << QStringLiteral("txtWin%1").arg(i);
  CheckTexts("restore dialog", &dialog, names);
}

// Two adapters listed, the first with maker and serial number, one port that
// does not answer in time, and the list open.
void TextFitTest::portDialog() {
  qputenv("CALVENORI_PORTS", "/dev/ttyUSB0,/dev/rfcomm0,/dev/ttyUSB1");  // the Windows build counts COMn
  const QString first = PortDeviceName(1), silent = PortDeviceName(2), third = PortDeviceName(3);
  SystemPortSource().List = [=] {
    return QList<PortEntry>{{first, "FT232R USB UART", "FTDI", "A50285BI"}, {third, "USB-SERIAL CH340", {}, {}}};
  };
  auto silentPort = std::make_shared<SilentPort>();
  ProbeSetup setup;
  // Long enough for the answering ports' threads to run on a loaded machine.
  setup.LimitMs = 1000;
  setup.Opener = [=](const QString &device) {
    if (device != silent) return device == first || device == third ? OpenFault::None : OpenFault::Missing;
    silentPort->Thread = QThread::currentThread();
    silentPort->Release.tryAcquire(1, 30000);
    return OpenFault::Missing;
  };
  SerialPort port;
  auto dialog = std::make_unique<PortDialog>(port, 1, nullptr, QString(), setup);
  Show(*dialog);
  QTRY_VERIFY(!dialog->Probing());
  auto *list = dialog->findChild<QComboBox *>(QStringLiteral("cboSerialPort"));
  QTRY_VERIFY2(list->count() >= 2, qPrintable(QString::number(list->count())));
  list->showPopup();
  QTRY_VERIFY(list->view()->isVisible() && !list->view()->visualRect(list->model()->index(1, 0)).isEmpty());
  CheckTexts("port dialog", dialog.get(), {"lblSerial", "lblDevice", "lblProbe", "cmdOK", "QComboBoxListView row 1"});
  list->hidePopup();
  dialog.reset();
  silentPort->Release.release();
  QTRY_VERIFY(silentPort->Thread.isNull());
  SystemPortSource().List = nullptr;
  qunsetenv("CALVENORI_PORTS");
}

void TextFitTest::aboutBox() {
  AboutDialog about(nullptr);
  Show(about);
  CheckTexts("About box", &about, {"lblRelease", "cmdOk", "cmdLicences"});
}

void TextFitTest::windowValueManager_data() {
  QTest::addColumn<bool>("application");
  QTest::newRow("the application answers") << true;
  QTest::newRow("a boot monitor answers") << false;
}

// Shown without its first read, which would look for a controller, then
// given what a read found: the application's values, or the longest state
// text with none.
void TextFitTest::windowValueManager() {
  QFETCH(bool, application);
  IdentifyRun run;
  run.Result = UploadResult::Uploaded;
  run.Identity.Contact.Application = application;
  if (application) {
    run.Identity.Rows = FullBackup();
    run.Identity.Lock = LockState::Unlocked;
  } else {
    run.Identity.Contact.Answer = {Answerer::BootMonitor, BootDialectOf("(E)")};
  }
  MainWindow window;
  QTemporaryDir folder;
  WindowValueDialog dialog(window, [](int, const QString &) {}, QDir(folder.path()), nullptr);
  dialog.show();
  QCoreApplication::removePostedEvents(&dialog, QEvent::MetaCall);  // the first read
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  dialog.Show(run);
  QStringList names = {"lblState", "cmdRefresh", "cmdCopy", "cmdClose"};
  if (application) {
    names << "lblLock";
    for (int i = 0; i < IdWindowCount; ++i) names << QStringLiteral("txtWin%1").arg(i);
  }
  CheckTexts("Windows Value Manager", &dialog, names);
}

// "-scale PERCENT" taken out of the arguments QtTest reads; 100 without it.
int TakeScale(int &argc, char **argv) {
  int percent = 100;
  int kept = 0;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "-scale") == 0 && i + 1 < argc) {
      percent = std::atoi(argv[++i]);
      continue;
    }
    argv[kept++] = argv[i];
  }
  argc = kept;
  return percent;
}

// The offscreen platform's one screen is 800 pixels square: at 200 % it is
// smaller than any display that offers the scale, and Qt sizes new windows
// to fit it. A full-HD desktop at every scale instead; written to a file,
// which the platform reads as the application is made.
std::unique_ptr<QTemporaryFile> OffscreenDesktop(int percent) {
  if (qgetenv("QT_QPA_PLATFORM") != "offscreen") return nullptr;
  auto config = std::make_unique<QTemporaryFile>();
  if (!config->open()) qFatal("no file for the offscreen screen");
  config->write(QStringLiteral(R"({"screens": [{"name": "desktop", "width": %1, "height": %2}]})")
                    .arg(1920 * percent / 100)
                    .arg(1080 * percent / 100)
                    .toUtf8());
  config->flush();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config->fileName().toLocal8Bit());
  return config;
}

int main(int argc, char **argv) {
  const int percent = TakeScale(argc, argv);
  qputenv("QT_SCALE_FACTOR", QByteArray::number(percent / 100.0));
  const std::unique_ptr<QTemporaryFile> desktop = OffscreenDesktop(percent);
  QApplication app(argc, argv);
  TextFitTest test(percent);
  return QTest::qExec(&test, argc, argv);
}

#include "test_text_fit.moc"
