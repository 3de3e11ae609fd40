// The main window's lifecycle and handlers.  Every handler is entered through
// the error guard, so an error that escapes one is reported and the window
// stays usable.
#include "app/TheMenuMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>

#include "ui/ErrorReport.h"
#include "ui/InformationBox.h"
#include "ui/LookSpeedButton.h"
#include "util/InformationBox.h"

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  CreateControls();
  BindEvents();
  // The window's close ends the run through RequestTermination, which waits
  // for a running handler; Qt's own quit would not.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  // Messages from the layers below the window reach the user in the box.
  SetInformationBoxHook(
      [](const std::string& text) { ShowInformationBox(QString::fromStdString(text)); });
  Dispatch([this] { FormCreate(); });
}

TMainForm::~TMainForm() {
  // The list outlives this body (children go with the QWidget base), so it
  // must not call back into a half-destroyed window.
  LB->OnDrawItem = nullptr;
  LB->OnDblClick = nullptr;
  SetInformationBoxHook(nullptr);
  FormDestroy();
}

void TMainForm::BindEvents() {
  connect(Timer1, &QTimer::timeout, this, [this] {
    FStartupTicked = true;
    Dispatch([this] { Timer1Timer(); });
  });
  connect(buttonOK, &QToolButton::clicked, this,
          [this] { Dispatch([this] { (this->*FButtonOKClick)(); }); });
  connect(historyButton, &QToolButton::clicked, this,
          [this] { Dispatch([this] { VerHisClick(); }); });
  connect(cancelButton, &QToolButton::clicked, this,
          [this] { Dispatch([this] { BitBtn2Click(); }); });
  LB->OnDrawItem = [this](TCheckListBox* control, int index, QPainter& canvas, const QRect& rect,
                          TOwnerDrawState state) {
    ++FHandlerDepth;
    RunGuardedWhilePainting([&] { LBDrawItem(control, index, canvas, rect, state); });
    --FHandlerDepth;
  };
  LB->OnDblClick = [this](TCheckListBox*) { Dispatch([this] { LBDblClick(); }); };
}

// ---- Lifecycle ------------------------------------------------------------

void TMainForm::FormCreate() {}

// The start-up step runs once per run: a window shown again (restored, or
// hidden and shown) does not arm the timer a second time.
void TMainForm::FormShow() {
  if (!FStartupTicked) Timer1->start();
}

void TMainForm::FormDestroy() { DirList.reset(); }

void TMainForm::Timer1Timer() {
  Timer1->stop();
  if (!DirList) DirList = std::make_unique<TStringList>();
  SetStatusLine("Click NEXT to see what updates are available");
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored by the window system
  if (!FCentred) {
    FCentred = true;
    CentreOnScreen();
  }
  Dispatch([this] { FormShow(); });
}

// ---- Buttons --------------------------------------------------------------

void TMainForm::GetListOfFiles() {}

void TMainForm::DownloadTheFiles() {}

void TMainForm::VerHisClick() {
  QDesktopServices::openUrl(QUrl(QStringLiteral(QUORVIN_WEB_URL "history")));
}

void TMainForm::BitBtn2Click() {
  SetTag(99);
  if (!HttpConnected()) RequestTermination();
}

bool TMainForm::HttpConnected() { return false; }

// ---- The update list and transfer events ----------------------------------

void TMainForm::LBDrawItem(TCheckListBox* control, int index, QPainter& canvas, const QRect& rect,
                           TOwnerDrawState) {
  canvas.fillRect(rect, Qt::white);
  canvas.setPen(Qt::black);
  canvas.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, control->Item(index));
}

void TMainForm::LBDblClick() {}

void TMainForm::HttpClientWorkBegin(int64_t workCountMax) {
  SetProgressMax(static_cast<int32_t>(static_cast<uint32_t>(workCountMax)));
}

void TMainForm::HttpClientWork(int64_t workCount) {
  SetProgressPosition(static_cast<int32_t>(static_cast<uint32_t>(workCount)));
}

void TMainForm::HttpClientWorkEnd() {}

// ---- Ending the run and minimizing -----------------------------------------

// The run ends once control is back in the message loop: while a handler
// is running (however deeply nested) the request is only noted, and the
// outermost handler ends the loop when it returns.  So the handler that asked
// runs on to its end, boxes it shows after the request included.
void TMainForm::RequestTermination() {
  FTerminationRequested = true;
  if (FHandlerDepth == 0) QCoreApplication::exit(0);
}

void TMainForm::Dispatch(const std::function<void()>& handler) {
  ++FHandlerDepth;
  RunGuarded(handler);
  --FHandlerDepth;
  if (FHandlerDepth == 0 && FTerminationRequested) QCoreApplication::exit(0);
}

// Closing the window is a termination request like the others.
void TMainForm::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  RequestTermination();
}

void TMainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || FMinimizing) return;
  if (isMinimized())
    MinimizeApplication();
  else
    RestoreApplication();
}

// Minimizing the window minimizes the whole application: every other
// visible top-level window goes down with it.
void TMainForm::MinimizeApplication() {
  FMinimizing = true;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != this && window->isVisible() && !window->isMinimized()) window->showMinimized();
  FMinimizing = false;
}

void TMainForm::RestoreApplication() {
  FMinimizing = true;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != this && window->isMinimized()) window->showNormal();
  FMinimizing = false;
}
