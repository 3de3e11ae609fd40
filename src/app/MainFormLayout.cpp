// The window's controls: where each sits, what it says and how it looks.
// Positions are relative to the parent's client area, in 96-dpi pixels.
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "app/EmbeddedLook.h"
#include "app/ShadowLabel.h"
#include "app/TheMenuMain.h"
#include "ui/LookHeader.h"
#include "ui/LookPanel.h"
#include "ui/LookProgressBar.h"
#include "ui/LookSpeedButton.h"

namespace {

constexpr int kClientWidth = 705;
constexpr int kClientHeight = 499;
const QColor kNavy(0, 0, 128);
const QColor kAqua(0, 255, 255);

QFont ArialFont(int pixels, bool bold = false) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

}  // namespace

void TMainForm::CreateControls() {
  setWindowTitle(QStringLiteral("Computer QUORVIN Update"));
  // A single border: no resizing and no maximize button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(ArialFont(13));

  BackPanel = new TLookPanel(this, TLookPanel::TBevel::Raised);
  BackPanel->setObjectName(QStringLiteral("BackPanel"));
  BackPanel->setGeometry(0, 0, 705, 480);
  // Its caption lies hidden behind Panel1; a caption nobody sees is not announced.
  BackPanel->SetCaption(QStringLiteral("BackPanel"));
  BackPanel->setAccessibleName(QString());
  CreateButtons();
  CreateListPanel();
  CreateStatusPanel();
  CreateTitlePanel();
  CreateStatusBar();
  CreateComponents();
}

void TMainForm::CreateButtons() {
  historyButton = new TLookSpeedButton(BackPanel, QStringLiteral("History"));
  historyButton->setObjectName(QStringLiteral("historyButton"));
  historyButton->setGeometry(385, 431, 100, 38);
  cancelButton = new TLookSpeedButton(BackPanel, QStringLiteral("Exit"));
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  cancelButton->setGeometry(597, 431, 100, 38);
  buttonOK = new TLookSpeedButton(BackPanel, QStringLiteral("Next"));
  buttonOK->setObjectName(QStringLiteral("buttonOK"));
  buttonOK->setGeometry(491, 431, 100, 38);
}

void TMainForm::CreateListPanel() {
  Panel1 = new TLookPanel(BackPanel);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(8, 94, 689, 300);
  SetColour(Panel1, QPalette::Window, kAqua);  // seen only without the look

  HC = new TLookHeader(Panel1);
  HC->setObjectName(QStringLiteral("HC"));
  HC->setGeometry(0, 0, 689, 24);
  HC->AddSection(QStringLiteral("File"), 393, true);
  HC->AddSection(QStringLiteral("Current"), 70);
  HC->AddSection(QStringLiteral("Available"), 70);
  HC->AddSection(QStringLiteral("Duplicate"), 70);
  HC->AddSection(QStringLiteral("In Use"), 70);
  HC->AddSection(QString(), 16);
  HC->setEnabled(false);

  LB = new TCheckListBox(Panel1);
  LB->setObjectName(QStringLiteral("LB"));
  LB->setGeometry(0, 24, 689, 276);
  LB->setFont(ArialFont(13));
  LB->setAccessibleName(QStringLiteral("Updates"));
  LB->setFocusPolicy(Qt::StrongFocus);
}

void TMainForm::CreateStatusPanel() {
  Panel4 = new TLookPanel(BackPanel);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setGeometry(8, 394, 689, 31);
  Panel4->SetAccessibleRole(QAccessible::StatusBar);
  Panel4->setAccessibleDescription(QStringLiteral("Status line"));

  pb1 = new TLookProgressBar(Panel4);
  pb1->setObjectName(QStringLiteral("pb1"));
  pb1->setGeometry(4, 6, 677, 21);
  pb1->hide();
}

void TMainForm::CreateTitlePanel() {
  TitlePanel = new TLookPanel(BackPanel);
  TitlePanel->setObjectName(QStringLiteral("TitlePanel"));
  TitlePanel->setGeometry(1, 1, 703, 81);
  TitlePanel->SetLookPart(QStringLiteral("title"));

  Label1 =
      new TShadowLabel(TitlePanel, QStringLiteral("Welcome to Computer QUORVIN Program Updater"));
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(0, 12, 703, 29);
  Label1->setFont(ArialFont(24, true));
  SetColour(Label1, QPalette::WindowText, kNavy);

  Label2 = new QLabel(QStringLiteral("Program Updater checks the internet for updates to your "
                                     "Computer QUORVIN products"),
                      TitlePanel);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(0, 52, 703, 21);
  Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label2->setWordWrap(true);
  Label2->setFont(ArialFont(13));
  SetColour(Label2, QPalette::WindowText, Qt::black);
}

void TMainForm::CreateStatusBar() {
  SB = new QStatusBar(this);
  SB->setObjectName(QStringLiteral("SB"));
  SB->setGeometry(0, 480, 705, 19);
  SB->setSizeGripEnabled(false);
  SB->setFont(QGuiApplication::font());  // the platform's status-bar font, not Arial
  // One panel that always reaches the right edge.
  auto* version = new QLabel(QStringLiteral("Version 4.0.002"), SB);
  version->setObjectName(QStringLiteral("SBPanel0"));
  SB->addWidget(version, 1);
}

void TMainForm::CreateComponents() {
  SI.SetDelimiter(',');
  SI2.SetDelimiter('=');
  PSI.SetDelimiter(',');
  NSI1.SetDelimiter('.');
  NSI2.SetDelimiter('.');
  SI3.SetDelimiter('|');
  SM.Activate(EmbeddedLookData(), EmbeddedLookSize());

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1);
  Timer1->setSingleShot(true);
}

// Centred on the screen that shows the window, whether or not a window
// manager is there to do it.
void TMainForm::CentreOnScreen() {
  const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
  if (target == nullptr) return;
  const QRect area = target->availableGeometry();
  const QSize outer = frameGeometry().size();
  move(area.left() + (area.width() - outer.width()) / 2,
       area.top() + (area.height() - outer.height()) / 2);
}
