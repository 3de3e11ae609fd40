#pragma once
// What the end-to-end window tests share: a temporary installation tree that
// is the program folder, the scripted server on 127.0.0.1, the real window
// shown offscreen, and a user who answers every box with OK and remembers
// what it said.
//
// A test runs the application's own message loop (Run): the user's steps are
// called from inside it, so a termination request ends the loop exactly as it
// ends the program, and the loop's result tells whether the run ended.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>

#include "app/TheMenuMain.h"
#include "platform/Files.h"
#include "platform/RunLock.h"
#include "support/ScriptedServer.h"
#include "ui/InformationBox.h"
#include "ui/LookProgressBar.h"
#include "ui/LookSpeedButton.h"

extern char** environ;

namespace e2e {

inline const QString kReady = QStringLiteral("Click NEXT to see what updates are available");
inline const QString kConnecting = QStringLiteral("Connecting with Computer QUORVIN Server.");
inline const QString kChoose = QStringLiteral(
    "Click UPDATE to download and install the programs or Double Click an item to check the path");
inline const QString kUpToDate = QStringLiteral("All files are already up to date.");
inline const QString kPending = QStringLiteral(
    "Some files were not installed from a previous update, all files must be installed before "
    "proceeding. Click OK to install files.");
inline const QString kInUse = QStringLiteral(
    "Some files could not be installed because they are currently in use. Please close your "
    "Computer QUORVIN applications, and try again.");
inline const QString kAborted = QStringLiteral("Download Aborted");
inline const QString kFinished = QStringLiteral("Finished. ");
inline const QString kFinishedWithErrors =
    QStringLiteral("Finished. Some errors were encounted during download.");

// The loop's result when the test itself ended a run that went on.
constexpr int kStillRunning = 7;

// A folder tree below a temporary program folder; paths are relative to it.
class TInstallTree {
 public:
  TInstallTree() { QVERIFY(FRoot.isValid()); }
  // The program folder, ending in "/", as the window reports folders.
  QString Root() const { return FRoot.path() + "/"; }
  QString Path(const QString& relative) const { return Root() + relative; }
  void Folder(const QString& relative) const { QDir().mkpath(Path(relative)); }
  void File(const QString& relative, const QByteArray& content) const {
    Folder(QFileInfo(relative).path());
    QFile file(Path(relative));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
  }
  bool Exists(const QString& relative) const { return QFileInfo::exists(Path(relative)); }
  QByteArray Read(const QString& relative) const {
    QFile file(Path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  // The names in the program folder itself, sorted, but for the run lock's
  // file, which the first run makes and every run keeps.
  QStringList TopFiles() const {
    QStringList names = QDir(Root()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    names.removeAll(QString::fromLatin1(platform::kRunLockFileName));
    return names;
  }

 private:
  QTemporaryDir FRoot;
};

// Another process that holds a file open while it lives (a running program
// of the product would); killed and reaped with the object.
class TFileHolder {
 public:
  explicit TFileHolder(const QString& file) : FFile(file.toStdString()) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, FFile.c_str(), O_RDONLY, 0);
    char program[] = "/bin/sleep";
    char seconds[] = "60";
    char* argv[] = {program, seconds, nullptr};
    FSpawned = ::posix_spawn(&FPid, program, &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TFileHolder() {
    if (!FSpawned) return;
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
  }
  // Waits, with a deadline, until /proc shows the child holding the file.
  bool WaitUntilHolding() const {
    if (!FSpawned) return false;
    const std::string link = "/proc/" + std::to_string(FPid) + "/fd/0";
    return QTest::qWaitFor([&] { return SameFile(link, FFile); }, 10000);
  }

 private:
  static bool SameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
  }
  std::string FFile;
  pid_t FPid = 0;
  bool FSpawned = false;
};

// One run of the updater over a tree, against a server.
class TEndToEnd {
 public:
  TInstallTree tree;
  ScriptedServer server;
  std::unique_ptr<TMainForm> form;
  // What every box said, in order: information boxes as their text, error
  // reports as "error: " and their text.
  QStringList boxes;
  // Called with each box's text before it is answered (when set).
  std::function<void(const QString&)> onBox;
  // The first step that did not go as expected; empty while all did.
  QString failure;
  // The public key the window verifies catalogues with, or the first root
  // (its text and signature file) it verifies them under; none unless a
  // test sets one, whatever the build was configured with.
  std::string catalogueKey;
  std::string rootText, rootSignatures;

  TEndToEnd() {
    SetModalBoxHook([this](QDialog& box) { Answer(box); });
  }
  ~TEndToEnd() {
    form.reset();
    SetModalBoxHook(nullptr);
    platform::SetProgramFolderForTesting("");
  }

  // The window, for the tree's program folder and this test's server.
  void CreateWindow() { CreateWindowFor(server.Url("/")); }
  void CreateWindowFor(const std::string& baseUrl) {
    FBaseUrl = baseUrl;
    platform::SetProgramFolderForTesting(tree.Root().toStdString());
    form = std::make_unique<TMainForm>();
    form->UseDownloadServer(baseUrl);
    if (rootText.empty())
      form->UseCatalogueKey(catalogueKey);
    else
      form->UseRoot(rootText, rootSignatures);
  }

  // The next start of the program over the same tree and server.
  void Restart() {
    form.reset();
    boxes.clear();
    onBox = nullptr;
    CreateWindowFor(FBaseUrl.empty() ? server.Url("/") : FBaseUrl);
  }

  // Shows the window and runs the message loop with the user's steps called
  // from inside it.  The result is 0 when the program ended itself,
  // kStillRunning when the window was still open after the last step, and -1
  // when the deadline passed.
  int Run(const std::function<void()>& steps, int deadlineMs = 15000) {
    if (!form) CreateWindow();
    form->show();
    QTimer::singleShot(0, [this, steps] {
      steps();
      if (!form->TerminationRequested()) QCoreApplication::exit(kStillRunning);
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    // A run stuck in a transfer is cut loose, so a failing test still ends.
    QObject::connect(&deadline, &QTimer::timeout, [this] {
      Fail("deadline passed");
      for (int i = 0; i < 8; ++i) server.Release();
      form->HttpClient.Disconnect();
      QCoreApplication::exit(-1);
    });
    deadline.start(deadlineMs);
    return QCoreApplication::exec();
  }

  // Steps the user takes, and what they wait for.
  bool WaitUntil(const std::function<bool()>& condition, const char* what, int ms = 8000) {
    if (QTest::qWaitFor(condition, ms)) return true;
    Fail(what);
    return false;
  }
  bool WaitForStartup() {
    return WaitUntil([this] { return Status() == kReady || form->TerminationRequested(); },
                     "start-up step ended");
  }
  void ClickNext() { QTest::mouseClick(form->buttonOK, Qt::LeftButton); }
  void ClickExit() { QTest::mouseClick(form->cancelButton, Qt::LeftButton); }
  void Expect(bool ok, const QString& what) {
    if (!ok) Fail(what);
  }
  void Fail(const QString& what) {
    if (failure.isEmpty()) failure = what;
  }

  QString Status() const { return QString::fromStdString(form->StatusLine()); }
  QStringList Rows() const {
    QStringList rows;
    for (int i = 0; i < form->LB->Count(); ++i) rows << form->LB->Item(i);
    return rows;
  }
  // Pixels of the row's drawn text: red ones and black ones.
  struct TInk {
    int red = 0, black = 0;
  };
  TInk RowInk(int row) const {
    const QImage image = form->LB->viewport()->grab().toImage();
    const QRect rect = form->LB->ItemRect(row);
    TInk ink;
    // Right of the check box, where the window draws the row's texts.
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left() + form->LB->CheckWidth() + 1; x <= rect.right(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.red() > 200 && pixel.green() < 80 && pixel.blue() < 80) ++ink.red;
        if (pixel.red() < 60 && pixel.green() < 60 && pixel.blue() < 60) ++ink.black;
      }
    return ink;
  }
  QByteArray Received() const {
    QByteArray all;
    for (int i = 0; i < server.ConnectionsAccepted(); ++i)
      all += QByteArray::fromStdString(server.Received(i));
    return all;
  }
  int Requests(const QByteArray& path) const { return Received().count("GET " + path + " "); }

 private:
  // Reads the box and presses its OK button, as the user would.
  void Answer(QDialog& box) {
    QString text;
    QAbstractButton* ok = nullptr;
    if (auto* information = dynamic_cast<TInformationBox*>(&box)) {
      text = information->Message();
      ok = information->OkButton();
    } else if (auto* report = dynamic_cast<QMessageBox*>(&box)) {
      text = "error: " + report->text();
      ok = report->button(QMessageBox::Ok);
    }
    boxes << text;
    if (onBox) onBox(text);
    if (ok)
      QTest::mouseClick(ok, Qt::LeftButton);
    else
      box.accept();
  }

  std::string FBaseUrl;  // the server of the last window made
};

// Catalogue and Version.ini texts, lines ended by CR LF.
inline QByteArray IniText(const QStringList& lines) {
  return (lines.join("\r\n") + "\r\n").toUtf8();
}

inline QByteArray Response(const QByteArray& body, const QByteArray& extraHeaders = {}) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
         extraHeaders + "\r\n" + body;
}

}  // namespace e2e
