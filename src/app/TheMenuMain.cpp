// The main window's lifecycle and handlers.  Every handler is entered through
// the error guard, so an error that escapes one is reported and the window
// stays usable.
#include "app/TheMenuMain.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>

#include "BuiltInRoot.h"  // generated: the root of trust the build holds
#include "engine/DownloadStaging.h"
#include "engine/FolderReport.h"
#include "engine/StartupHousekeeping.h"
#include "engine/TransferProgress.h"
#include "engine/UpdateDetection.h"
#include "platform/Files.h"
#include "ui/ErrorReport.h"
#include "ui/InformationBox.h"
#include "ui/LookHeader.h"
#include "ui/LookSpeedButton.h"
#include "ui/UpdateListPainter.h"
#include "ui/UpdateRowSpeech.h"
#include "util/InformationBox.h"

namespace {

// Assistive technology sees the main window as a frame (a top-level window
// with its caption), not as an anonymous client area.
QAccessibleInterface* MainFormAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("TMainForm") && object && object->isWidgetType())
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  return nullptr;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  static const bool accessibleInstalled =
      (QAccessible::installFactory(MainFormAccessibleFactory), true);
  (void)accessibleInstalled;
  CreateControls();
  FContext.reset(new TUpdaterContext{*this, HttpClient, platform::ProgramFolder(),
                                     QUORVIN_DOWNLOAD_URL, nullptr, SI, PSI, NSI1, NSI2, SI3});
  FContext->BuiltInRootText = BuiltInRootText();
  FContext->BuiltInRootSignatures = BuiltInRootSignatures();
  FContext->CatalogueKey = QUORVIN_CATALOGUE_PUBLIC_KEY;
  BindEvents();
  BindTransferEvents();
  // The window's close ends the run through RequestTermination, which waits
  // for a running handler; Qt's own quit would not.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  // Boxes belong to this window, even while the user is in another program.
  SetApplicationWindow(this);
  // Messages from the layers below the window reach the user in the box.
  SetInformationBoxHook(
      [](const std::string& text) { ShowInformationBox(QString::fromStdString(text)); });
  Dispatch([this] { FormCreate(); });
}

TMainForm::~TMainForm() {
  // The list outlives this body (children go with the QWidget base), so it
  // must not call back into a half-destroyed window.
  LB->OnDrawItem = nullptr;
  LB->AccessibleRowText = nullptr;
  LB->OnDblClick = nullptr;
  SetInformationBoxHook(nullptr);
  HttpClient.OnWorkBegin = nullptr;
  HttpClient.OnWork = nullptr;
  HttpClient.OnWorkEnd = nullptr;
  FormDestroy();
}

void TMainForm::UseDownloadServer(const std::string& baseUrl) { FContext->DownloadUrl = baseUrl; }

void TMainForm::UseCatalogueKey(const std::string& publicKey) {
  FContext->BuiltInRootText.clear();
  FContext->BuiltInRootSignatures.clear();
  FContext->CatalogueKey = publicKey;
}

void TMainForm::UseRoot(const std::string& rootText, const std::string& signatures) {
  FContext->BuiltInRootText = rootText;
  FContext->BuiltInRootSignatures = signatures;
  FContext->CatalogueKey.clear();
}

// The client's work events drive the progress bar; while a transfer waits,
// the message pump lets the window handle its messages.
void TMainForm::BindTransferEvents() {
  HttpClient.OnWorkBegin = [this](THttpClient*, TWorkMode, int64_t workCountMax) {
    HttpClientWorkBegin(workCountMax);
  };
  HttpClient.OnWork = [this](THttpClient*, TWorkMode, int64_t workCount) {
    HttpClientWork(workCount);
  };
  HttpClient.OnWorkEnd = [this](THttpClient*, TWorkMode) { HttpClientWorkEnd(); };
  MessagePump.SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
}

void TMainForm::BindEvents() {
  connect(Timer1, &QTimer::timeout, this, [this] {
    FStartupTicked = true;
    Dispatch([this] { Timer1Timer(); });
  });
  connect(buttonOK, &QToolButton::clicked, this,
          [this] { Dispatch([this] { ButtonOKClick(); }); });
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
  LB->AccessibleRowText = [this](int index) { return SpokenUpdateRow(LB->Item(index)); };
}

// ---- Lifecycle ------------------------------------------------------------

void TMainForm::FormCreate() {}

// The start-up step runs once per run: a window shown again (restored, or
// hidden and shown) does not arm the timer a second time.
void TMainForm::FormShow() {
  if (!FStartupTicked) Timer1->start();
}

void TMainForm::FormDestroy() { FContext->DirList.reset(); }

namespace {

// Clears a "running" flag however the handler that set it ends.
struct TRunningFlag {
  bool& running;
  explicit TRunningFlag(bool& flag) : running(flag) { running = true; }
  ~TRunningFlag() { running = false; }
};

}  // namespace

// Runs once: the timer is stopped before anything else, so no further tick
// arrives while the housekeeping lets messages through.
void TMainForm::Timer1Timer() {
  Timer1->stop();
  TRunningFlag startup(FStartupRunning);
  ::Timer1Timer(*FContext);
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

// Next, or Update once the list is filled: whichever handler is bound now.
void TMainForm::ButtonOKClick() { (this->*FButtonOKClick)(); }

// The scan lets clicks through while it runs; Next means nothing until the
// folders are listed, so an early click is ignored.  So is a second press
// while the catalogue is still arriving: the HTTP client serves one request
// at a time.
void TMainForm::GetListOfFiles() {
  if (FStartupRunning || FListing || !FContext->DirList) return;
  TRunningFlag listing(FListing);
  ::GetListOfFiles(*FContext);
}

void TMainForm::DownloadTheFiles() { ::DownloadTheFiles(*FContext); }

void TMainForm::VerHisClick() {
  QDesktopServices::openUrl(QUrl(QStringLiteral(QUORVIN_WEB_URL "history")));
}

// Exit asks a running transfer to stop by the flag.  With no connection open
// the program ends; with one open the run goes on to "Download Aborted" (or
// the listing's silent end).  A body still arriving is cut here and now,
// from the pump turn this click came in, rather than at its next progress
// event, which on a slow link may be seconds away: the waiting read finds
// the socket closed and the transfer returns as after any cut.
void TMainForm::BitBtn2Click() {
  SetTag(kAbortRequested);
  if (!HttpConnected())
    RequestTermination();
  else if (HttpClient.Transferring())
    HttpClient.Disconnect();
}

bool TMainForm::HttpConnected() { return HttpClient.Connected(); }

// ---- The update list and transfer events ----------------------------------

void TMainForm::LBDrawItem(TCheckListBox* control, int index, QPainter& canvas, const QRect& rect,
                           TOwnerDrawState state) {
  THeaderWidths widths{};
  for (int i = 0; i < static_cast<int>(widths.size()) && i < HC->SectionCount(); ++i)
    widths[static_cast<size_t>(i)] = HC->Section(i).Width;
  SI.SetSourceString(control->Item(index).toStdString());
  PaintUpdateRow(canvas, rect, SI.FieldList(), widths, state.focused);
}

void TMainForm::LBDblClick() {
  if (!FContext->DirList) return;  // no folders listed yet: nothing to report
  int index = LB->ItemIndex();
  std::string record = index < 0 ? std::string() : LB->Item(index).toStdString();
  std::string report = FolderReportText(*FContext, index, record);
  if (!report.empty()) ShowInformation(report);
}

void TMainForm::HttpClientWorkBegin(int64_t workCountMax) {
  ::HttpClientWorkBegin(*FContext, workCountMax);
}

void TMainForm::HttpClientWork(int64_t workCount) { ::HttpClientWork(*FContext, workCount); }

void TMainForm::HttpClientWorkEnd() { ::HttpClientWorkEnd(*FContext); }

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

// Closing the window is a termination request like the others.  While a
// handler runs, the window stays: the run goes on in it, its boxes keep their
// window and Exit keeps working; the window goes when the loop has ended.
void TMainForm::closeEvent(QCloseEvent* event) {
  if (FHandlerDepth > 0)
    event->ignore();
  else
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
