#pragma once
// TMainForm: the updater's one window.  It owns every control and component
// of the window, runs each handler through the error guard, and offers the
// update engine what it needs of the window (IUpdaterWindow).
//
// Handlers are virtual members named after their events.  The engine-facing
// ones (GetListOfFiles, DownloadTheFiles, LBDrawItem, LBDblClick and the
// HttpClientWork* family) hold the window's share of that work and call into
// the engine; buttonOK starts out bound to GetListOfFiles and is rebound to
// DownloadTheFiles by BecomeUpdateButton.
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/UpdaterContext.h"
#include "engine/UpdaterWindow.h"
#include "http/HttpClient.h"
#include "http/MessagePump.h"
#include "ui/CheckListBox.h"
#include "ui/LookManager.h"
#include "util/QuorvinSI.h"
#include "util/StringList.h"

class QLabel;
class QStatusBar;
class QTimer;
class TLookHeader;
class TLookPanel;
class TLookProgressBar;
class TLookSpeedButton;
class TShadowLabel;

class TMainForm : public QWidget, public IUpdaterWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Visible controls, in the order of creation.
  TLookPanel* BackPanel = nullptr;
  TLookSpeedButton* historyButton = nullptr;
  TLookSpeedButton* cancelButton = nullptr;
  TLookSpeedButton* buttonOK = nullptr;
  TLookPanel* Panel1 = nullptr;
  TLookHeader* HC = nullptr;
  TCheckListBox* LB = nullptr;
  TLookPanel* Panel4 = nullptr;  // its caption is the status line
  TLookProgressBar* pb1 = nullptr;
  TLookPanel* TitlePanel = nullptr;
  TShadowLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QStatusBar* SB = nullptr;

  // Non-visual components.
  TQuorvinSI SI, SI2, PSI, NSI1, NSI2, SI3;
  QStringList SH;  // string holder: holds no strings
  TLookManager SM;
  QTimer* Timer1 = nullptr;
  THttpClient HttpClient;
  TMessagePump MessagePump;

  // Points the window at another download server.  The program itself
  // always uses the compiled-in base URL; tests and tools use this.
  void UseDownloadServer(const std::string& baseUrl);
  // Verifies catalogues under a root of another public key (base64; "" for
  // none), or under another first root (its text and signature file), in
  // place of the root built in.  The program itself always uses the
  // compiled-in root; tests use this.
  void UseCatalogueKey(const std::string& publicKey);
  void UseRoot(const std::string& rootText, const std::string& signatures);

  // Set once a handler has asked the run to end.
  bool TerminationRequested() const { return FTerminationRequested; }

  // IUpdaterWindow
  void SetStatusLine(const std::string& text) override;
  std::string StatusLine() const override;
  int Tag() const override { return FTag; }
  void SetTag(int value) override { FTag = value; }
  std::string Hint() const override { return FHint; }
  void SetHint(const std::string& text) override { FHint = text; }
  void ProcessMessages() override;
  void ShowInformation(const std::string& text) override;
  void RequestTermination() override;
  void SetNextEnabled(bool enabled) override;
  void SetHistoryEnabled(bool enabled) override;
  void BecomeUpdateButton() override;
  int RowCount() const override;
  std::string RowText(int index) const override;
  void AddRow(const std::string& text) override;
  bool RowChecked(int index) const override;
  void SetRowChecked(int index, bool checked) override;
  void SetRowEnabled(int index, bool enabled) override;
  void SetItemIndex(int index) override;
  void RepaintList() override;
  void SetProgressVisible(bool visible) override;
  void SetProgressPosition(int64_t position) override;
  void SetProgressMax(int64_t maximum) override;
  int64_t ProgressMax() const override;

 protected:
  // Lifecycle.
  virtual void FormCreate();
  virtual void FormShow();
  virtual void FormDestroy();
  virtual void Timer1Timer();

  // Buttons.
  virtual void GetListOfFiles();
  virtual void DownloadTheFiles();
  virtual void VerHisClick();
  virtual void BitBtn2Click();

  // The update list.
  virtual void LBDrawItem(TCheckListBox* control, int index, QPainter& canvas, const QRect& rect,
                          TOwnerDrawState state);
  virtual void LBDblClick();

  // Transfer events of the HTTP client.
  virtual void HttpClientWorkBegin(int64_t workCountMax);
  virtual void HttpClientWork(int64_t workCount);
  virtual void HttpClientWorkEnd();

  // Whether the HTTP client holds an open connection to the server.
  virtual bool HttpConnected();

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

  // Every folder below the program folder; null until the start-up step.
  const TStringList* DirList() const { return FContext->DirList.get(); }

 private:
  // Building the window (MainFormLayout.cpp).
  void CreateControls();
  void CreateButtons();
  void CreateListPanel();
  void CreateStatusPanel();
  void CreateTitlePanel();
  void CreateStatusBar();
  void CreateComponents();
  void BindEvents();
  void CentreOnScreen();
  void BindTransferEvents();

  // Runs a handler through the error guard, keeping count of how deeply
  // handlers are nested, so a termination request waits for the outermost.
  void Dispatch(const std::function<void()>& handler);
  void ButtonOKClick();
  void MinimizeApplication();
  void RestoreApplication();

  // What the engine works with: this window, its HTTP client, folders and
  // splitters.
  std::unique_ptr<TUpdaterContext> FContext;
  using THandler = void (TMainForm::*)();
  THandler FButtonOKClick = &TMainForm::GetListOfFiles;
  int FTag = 0;
  std::string FHint;
  bool FTerminationRequested = false;
  int FHandlerDepth = 0;
  bool FStartupTicked = false;
  bool FStartupRunning = false;
  bool FListing = false;
  bool FCentred = false;
  bool FMinimizing = false;
};
