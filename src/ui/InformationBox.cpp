#include "ui/InformationBox.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <algorithm>

namespace {

const char kCaption[] = "Information";
const char kOkCaption[] = "OK";
constexpr int kIconSize = 32;

TModalBoxHook& ModalBoxHook() {
  static TModalBoxHook hook;
  return hook;
}

QPointer<QWidget>& ApplicationWindow() {
  static QPointer<QWidget> window;
  return window;
}

// The message as the screen shows it: CR LF and lone CRs are line breaks.  A
// break at the very end closes the last line rather than opening another (the
// folder report ends each of its lines so), so it takes no room in the box.
QString DisplayText(const QString& message) {
  QString text = message;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;

// The message label paints its text with the very flags the layout measured it
// with, so the text always fits the rectangle it was given.  Being a QLabel it
// is read out by assistive technology as static text.
class TBoxText : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), kTextFlags, text());
  }
};

// Dialog units of the box's font: a horizontal unit is a quarter of the average
// width of the 52 letters, a vertical unit an eighth of the character height.
struct TDialogUnits {
  explicit TDialogUnits(const QFontMetrics& metrics) {
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageWidth = std::max(1, (metrics.horizontalAdvance(letters) + 26) / 52);
    height = std::max(1, metrics.height());
  }
  int X(int units) const { return units * averageWidth / 4; }
  int Y(int units) const { return units * height / 8; }
  int averageWidth;
  int height;
};

QScreen* BoxScreen(const QWidget* box) {
  if (QWidget* active = QApplication::activeWindow()) {
    if (active != box && active->screen()) return active->screen();
  }
  return box->screen() ? box->screen() : QGuiApplication::primaryScreen();
}

}  // namespace

TInformationBox::TInformationBox(const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FMessage(text) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setModal(true);

  FIcon = new QLabel(this);
  FIcon->setPixmap(style()
                       ->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this)
                       .pixmap(kIconSize, kIconSize));
  FIcon->setAccessibleName(QStringLiteral("Information icon"));

  FText = new TBoxText(DisplayText(text), this);
  FText->setTextFormat(Qt::PlainText);
  FText->setTextInteractionFlags(Qt::NoTextInteraction);

  FOkButton = new QPushButton(QString::fromLatin1(kOkCaption), this);
  FOkButton->setDefault(true);
  FOkButton->setAutoDefault(true);
  connect(FOkButton, &QPushButton::clicked, this, &QDialog::accept);

  // A screen reader announces the box by its caption and its message.
  setAccessibleName(Caption());
  setAccessibleDescription(FText->text());
  FText->setAccessibleName(FText->text());

  LayOut();
  FOkButton->setFocus();
}

QString TInformationBox::Caption() const { return windowTitle(); }

QString TInformationBox::Message() const { return FMessage; }

void TInformationBox::LayOut() {
  const QFontMetrics metrics(font());
  const TDialogUnits units(metrics);
  const int marginX = units.X(8), marginY = units.Y(8);
  const int iconTextGap = units.X(10), textButtonGap = units.Y(10);

  const QScreen* screen = BoxScreen(this);
  const int maxTextWidth = std::max(1, (screen ? screen->geometry().width() : 1024) / 2);
  const QRect textBounds =
      FText->text().isEmpty()
          ? QRect()
          : metrics.boundingRect(QRect(0, 0, maxTextWidth, 100000), kTextFlags, FText->text());
  const int textWidth = textBounds.width(), textHeight = textBounds.height();

  const QFontMetrics buttonMetrics(FOkButton->font());
  const int buttonWidth =
      std::max(units.X(50), buttonMetrics.horizontalAdvance(FOkButton->text()) + 8);
  const int buttonHeight = units.Y(14);

  const int clientWidth = std::max(kIconSize + iconTextGap + textWidth, buttonWidth) + 2 * marginX;
  const int clientHeight =
      std::max(textHeight, kIconSize) + buttonHeight + textButtonGap + 2 * marginY;

  FIcon->setGeometry(marginX, marginY, kIconSize, kIconSize);
  FText->setGeometry(marginX + kIconSize + iconTextGap, marginY, textWidth, textHeight);
  FOkButton->setGeometry((clientWidth - buttonWidth) / 2,
                         marginY + std::max(textHeight, kIconSize) + textButtonGap, buttonWidth,
                         buttonHeight);
  setFixedSize(clientWidth, clientHeight);
  CentreOnScreen();
}

void TInformationBox::CentreOnScreen() {
  const QScreen* screen = BoxScreen(this);
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize outer = isVisible() ? frameGeometry().size() : size();
  move(area.left() + (area.width() - outer.width()) / 2,
       area.top() + (area.height() - outer.height()) / 2);
}

void TInformationBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The frame is known only now; centre the whole window, frame included.
  CentreOnScreen();
}

void TInformationBox::reject() { accept(); }

QString TInformationBox::ClipboardText() const {
  const QString rule = QString(27, QLatin1Char('-'));
  const QString crlf = QStringLiteral("\r\n");
  QString buttons = FOkButton->text();
  buttons.remove(QLatin1Char('&'));
  return rule + crlf + Caption() + crlf + rule + crlf + FMessage + crlf + rule + crlf + buttons +
         QStringLiteral("   ") + crlf + rule + crlf;
}

void TInformationBox::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QApplication::beep();
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(ClipboardText());
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SetModalBoxHook(TModalBoxHook hook) { ModalBoxHook() = std::move(hook); }

int ExecModalBox(QDialog& box) {
  // Without a window manager (or with one that does not) nobody hands the
  // activation back when the box closes, so the box does it itself.
  const QPointer<QWidget> previousWindow = QApplication::activeWindow();
  const QPointer<QWidget> previousFocus = QApplication::focusWidget();
  box.setWindowModality(Qt::ApplicationModal);
  if (ModalBoxHook()) {
    // Queued, so the hook runs inside the box's own modal loop, as a person would.
    QTimer::singleShot(0, &box, [&box] {
      if (ModalBoxHook()) ModalBoxHook()(box);
    });
  }
  const int result = box.exec();
  if (previousWindow && previousWindow->isVisible()) previousWindow->activateWindow();
  if (previousFocus && previousFocus->isVisible())
    previousFocus->setFocus(Qt::ActiveWindowFocusReason);
  return result;
}

void SetApplicationWindow(QWidget* window) { ApplicationWindow() = window; }

QWidget* BoxOwner() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  return ApplicationWindow();
}

void ShowInformationBox(const QString& text) {
  TInformationBox box(text, BoxOwner());
  ExecModalBox(box);
}
