// The main window as the user and the engine meet it: texts, geometry,
// focus, the one start-up step, how Exit and other termination requests end
// the run, minimizing, and what assistive technology is told.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/ShadowLabel.h"
#include "app/TheMenuMain.h"
#include "platform/Files.h"
#include "ui/InformationBox.h"
#include "ui/LookHeader.h"
#include "ui/LookPanel.h"
#include "ui/LookProgressBar.h"
#include "ui/LookSpeedButton.h"

namespace {

// A window that counts its handlers and can be told how to behave.
class TProbeForm : public TMainForm {
 public:
  int startups = 0;
  int downloads = 0;
  int listings = 0;
  bool connected = false;
  std::function<void(TProbeForm&)> startup;  // replaces the start-up step when set
  std::function<void(TProbeForm&)> afterExit;

  bool HasDirList() const { return DirList() != nullptr; }
  void BaseStartup() { TMainForm::Timer1Timer(); }

 protected:
  void Timer1Timer() override {
    ++startups;
    if (startup)
      startup(*this);
    else
      TMainForm::Timer1Timer();
  }
  void GetListOfFiles() override { ++listings; }
  void DownloadTheFiles() override { ++downloads; }
  bool HttpConnected() override { return connected; }
  void BitBtn2Click() override {
    TMainForm::BitBtn2Click();
    if (afterExit) afterExit(*this);
  }
};

// Runs the application's event loop until something ends it, or a deadline
// passes (then the result is -1).  `start` is called once the loop runs.
int RunLoop(const std::function<void()>& start, int deadlineMs = 5000) {
  QTimer::singleShot(0, start);
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
  deadline.start(deadlineMs);
  return QCoreApplication::exec();
}

// Receives what QDesktopServices would open in a browser.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

std::vector<QAccessible::Event> gAccessibleEvents;
QObject* gAccessibleWatched = nullptr;
void RecordAccessibleEvent(QAccessibleEvent* event) {
  if (event->object() == gAccessibleWatched) gAccessibleEvents.push_back(event->type());
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

  // The start-up step scans and tidies the program folder: give it an empty
  // one of its own rather than the folder of the test program.
  QTemporaryDir programFolder;

 private slots:
  void initTestCase() {
    QVERIFY(programFolder.isValid());
    platform::SetProgramFolderForTesting(programFolder.path().toStdString() + "/");
  }
  void cleanupTestCase() { platform::SetProgramFolderForTesting(""); }

  void titleAndCaptions() {
    TMainForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Computer QUORVIN Update"));
    QCOMPARE(form.buttonOK->text(), QStringLiteral("Next"));
    QCOMPARE(form.historyButton->text(), QStringLiteral("History"));
    QCOMPARE(form.cancelButton->text(), QStringLiteral("Exit"));
    QCOMPARE(form.Label1->text(), QStringLiteral("Welcome to Computer QUORVIN Program Updater"));
    QCOMPARE(form.Label2->text(), QStringLiteral("Program Updater checks the internet for updates "
                                                 "to your Computer QUORVIN products"));
    auto* version = form.SB->findChild<QLabel*>();
    QVERIFY(version);
    QCOMPARE(version->text(), QStringLiteral("Version 4.0.002"));
    QCOMPARE(QString::fromStdString(form.StatusLine()), QString());
    QVERIFY(form.pb1->isHidden());
    QCOMPARE(form.Tag(), 0);
    QCOMPARE(form.LB->Count(), 0);
  }

  void lookReplacesTheDesignColours() {
    TMainForm form;
    form.show();
    QVERIFY(form.SM.Active());
    // Panel1's aqua is for the platform look only; the look paints its own.
    QCOMPARE(form.Panel1->palette().color(QPalette::Window), QColor(0xD6, 0xE4, 0xF6));
    QCOMPARE(form.Label2->palette().color(QPalette::WindowText), QColor(0x14, 0x30, 0x5E));
    QCOMPARE(form.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  }

  void titleShadowLiesUpAndToTheLeft() {
    TMainForm form;
    form.show();
    const QColor backdrop(128, 128, 128);
    QImage image(form.Label1->size(), QImage::Format_RGB32);
    image.fill(backdrop);
    form.Label1->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    // The first painted pixel, scanning from the top left, belongs to the
    // white shadow; navy text pixels are there too.
    QColor first;
    int navy = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (!first.isValid() && pixel != backdrop) first = pixel;
        if (pixel == QColor(0, 0, 128)) ++navy;
      }
    QVERIFY(first.isValid());
    QVERIFY2(first.red() > 128 && first.green() > 128, qPrintable(first.name()));
    QVERIFY(navy > 50);
  }

  void clientAreaIsFixed() {
    TMainForm form;
    form.show();
    QCOMPARE(form.size(), QSize(705, 499));
    QCOMPARE(form.minimumSize(), QSize(705, 499));
    QCOMPARE(form.maximumSize(), QSize(705, 499));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    form.resize(900, 700);
    QCOMPARE(form.size(), QSize(705, 499));
  }

  void centredWhenFirstShown() {
    TMainForm form;
    form.show();
    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    QCOMPARE(frame.left() - area.left(), (area.width() - frame.width()) / 2);
    QCOMPARE(frame.top() - area.top(), (area.height() - frame.height()) / 2);
  }

  void controlsSitWhereTheLayoutPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("BackPanel") << "BackPanel" << QRect(0, 0, 705, 480);
    QTest::newRow("historyButton") << "historyButton" << QRect(385, 431, 100, 38);
    QTest::newRow("cancelButton") << "cancelButton" << QRect(597, 431, 100, 38);
    QTest::newRow("buttonOK") << "buttonOK" << QRect(491, 431, 100, 38);
    QTest::newRow("Panel1") << "Panel1" << QRect(8, 94, 689, 300);
    QTest::newRow("HC") << "HC" << QRect(0, 0, 689, 24);
    QTest::newRow("LB") << "LB" << QRect(0, 24, 689, 276);
    QTest::newRow("Panel4") << "Panel4" << QRect(8, 394, 689, 31);
    QTest::newRow("pb1") << "pb1" << QRect(4, 6, 677, 21);
    QTest::newRow("TitlePanel") << "TitlePanel" << QRect(1, 1, 703, 81);
    QTest::newRow("Label1") << "Label1" << QRect(0, 12, 703, 29);
    QTest::newRow("Label2") << "Label2" << QRect(0, 52, 703, 21);
    QTest::newRow("SB") << "SB" << QRect(0, 480, 705, 19);
  }

  void controlsSitWhereTheLayoutPutsThem() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    TMainForm form;
    form.show();
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->geometry(), geometry);
  }

  void controlsNestAsTheLayoutSays() {
    TMainForm form;
    QCOMPARE(form.buttonOK->parentWidget(), form.BackPanel);
    QCOMPARE(form.HC->parentWidget(), form.Panel1);
    QCOMPARE(form.LB->parentWidget(), form.Panel1);
    QCOMPARE(form.pb1->parentWidget(), form.Panel4);
    QCOMPARE(form.Label1->parentWidget(), form.TitlePanel);
    QCOMPARE(form.SB->parentWidget(), &form);
    // The status bar's one panel reaches the right edge.
    form.show();
    auto* version = form.SB->findChild<QLabel*>();
    QVERIFY(version->geometry().right() >= form.SB->width() - 8);
    QVERIFY(version->geometry().left() <= 4);
  }

  void headerCaptionsStartWhereTheColumnsDo() {
    TMainForm form;
    form.show();
    QCOMPARE(form.HC->SectionCount(), 6);
    const QStringList captions{"File", "Current", "Available", "Duplicate", "In Use", ""};
    const int lefts[] = {0, 393, 463, 533, 603, 673};
    int total = 0;
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(form.HC->Section(i).Text, captions[i]);
      QCOMPARE(form.HC->SectionLeft(i), lefts[i]);
      total += form.HC->Section(i).Width;
    }
    QCOMPARE(total, 689);
    QVERIFY(!form.HC->isEnabled());
  }

  void onlyTheListTakesTheFocus() {
    TMainForm form;
    for (QWidget* widget : form.findChildren<QWidget*>()) {
      if (widget == form.LB || form.LB->isAncestorOf(widget)) continue;
      QVERIFY2(widget->focusPolicy() == Qt::NoFocus, qPrintable(widget->objectName()));
    }
    QVERIFY(form.LB->focusPolicy() & Qt::TabFocus);
  }

  void startupStepRunsOnceAfterShowing() {
    TProbeForm form;
    QCoreApplication::processEvents();
    QCOMPARE(form.startups, 0);
    QVERIFY(!form.HasDirList());
    form.show();
    QTRY_COMPARE_WITH_TIMEOUT(form.startups, 1, 5000);
    QCOMPARE(QString::fromStdString(form.StatusLine()),
             QStringLiteral("Click NEXT to see what updates are available"));
    QVERIFY(form.HasDirList());
    // Let a later timer fire: the 1 ms start-up timer must not have ticked again.
    bool later = false;
    QTimer::singleShot(30, [&later] { later = true; });
    QTRY_VERIFY_WITH_TIMEOUT(later, 5000);
    QCOMPARE(form.startups, 1);
    // Showing the window again does not run the start-up step again.
    form.hide();
    form.show();
    later = false;
    QTimer::singleShot(30, [&later] { later = true; });
    QTRY_VERIFY_WITH_TIMEOUT(later, 5000);
    QCOMPARE(form.startups, 1);
  }

  void exitWithoutConnectionEndsTheRun() {
    TProbeForm form;
    form.show();
    const int result = RunLoop([&form] { form.cancelButton->click(); });
    QCOMPARE(result, 0);
    QCOMPARE(form.Tag(), 99);
    QVERIFY(form.TerminationRequested());
  }

  void exitWithConnectionOnlyRaisesTheFlag() {
    TProbeForm form;
    form.connected = true;
    form.show();
    const int result = RunLoop([&form] {
      form.cancelButton->click();
      QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
    });
    QCOMPARE(result, 7);  // the loop went on after Exit
    QCOMPARE(form.Tag(), 99);
    QVERIFY(!form.TerminationRequested());
  }

  void terminatingHandlerRunsToItsEnd() {
    int boxes = 0;
    SetModalBoxHook([&boxes](QDialog& box) {
      ++boxes;
      box.accept();
    });
    TProbeForm form;
    form.startup = [](TProbeForm& self) {
      self.RequestTermination();
      self.ProcessMessages();  // messages handled after the request change nothing
      self.ShowInformation("still shown");
      self.BaseStartup();
    };
    const int result = RunLoop([&form] { form.show(); });
    SetModalBoxHook(nullptr);
    QCOMPARE(result, 0);
    QCOMPARE(form.startups, 1);
    QCOMPARE(boxes, 1);
    QCOMPARE(QString::fromStdString(form.StatusLine()),
             QStringLiteral("Click NEXT to see what updates are available"));
  }

  // The window stays up and working while the handler runs on.
  void closingDuringAHandlerLetsItFinish() {
    TProbeForm form;
    bool shownThroughout = false;
    form.startup = [&shownThroughout](TProbeForm& self) {
      self.close();
      self.ProcessMessages();
      self.BaseStartup();
      shownThroughout = self.isVisible();
    };
    QCOMPARE(RunLoop([&form] { form.show(); }), 0);
    QVERIFY(form.TerminationRequested());
    QVERIFY(shownThroughout);
    QCOMPARE(QString::fromStdString(form.StatusLine()),
             QStringLiteral("Click NEXT to see what updates are available"));
  }

  void exitDuringAHandlerWaitsForIt() {
    TProbeForm form;
    bool ranOn = false;
    form.startup = [&ranOn](TProbeForm& self) {
      self.cancelButton->click();  // Exit, nested inside the start-up step
      ranOn = self.TerminationRequested();
      self.BaseStartup();
    };
    QCOMPARE(RunLoop([&form] { form.show(); }), 0);
    QVERIFY(ranOn);
    QCOMPARE(form.Tag(), 99);
    QCOMPARE(QString::fromStdString(form.StatusLine()),
             QStringLiteral("Click NEXT to see what updates are available"));
  }

  void exitHandlerRunsOnAfterRequestingTermination() {
    TProbeForm form;
    form.afterExit = [](TProbeForm& self) { self.SetStatusLine("after the request"); };
    form.show();
    QCOMPARE(RunLoop([&form] { form.cancelButton->click(); }), 0);
    QCOMPARE(form.StatusLine(), std::string("after the request"));
  }

  void closingTheWindowEndsTheRunCleanly() {
    auto form = std::make_unique<TProbeForm>();
    form->show();
    QCOMPARE(RunLoop([&form] { form->close(); }), 0);
    form.reset();  // with or without a folder list, nothing is left to fail
  }

  void nextBecomesUpdate() {
    TProbeForm form;
    form.buttonOK->click();
    QCOMPARE(form.listings, 1);
    form.SetNextEnabled(false);
    QVERIFY(!form.buttonOK->isEnabled());
    form.BecomeUpdateButton();
    QCOMPARE(form.buttonOK->text(), QStringLiteral("Update"));
    QVERIFY(form.buttonOK->isEnabled());
    form.buttonOK->click();
    QCOMPARE(form.downloads, 1);
    QCOMPARE(form.listings, 1);
  }

  void historyOpensThePageAndChangesNothing() {
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    TProbeForm form;
    form.SetStatusLine("unchanged");
    form.historyButton->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0], QUrl(QStringLiteral(QUORVIN_WEB_URL "history")));
    QCOMPARE(form.StatusLine(), std::string("unchanged"));
    QCOMPARE(form.Tag(), 0);
  }

  void minimizingTakesTheWholeApplication() {
    TMainForm form;
    QWidget other;
    form.show();
    other.show();
    form.showMinimized();
    QVERIFY(form.isMinimized());
    QVERIFY(other.isMinimized());
    form.showNormal();
    QVERIFY(!form.isMinimized());
    QVERIFY(!other.isMinimized());
  }

  void progressBarKeepsItsRules() {
    TMainForm form;
    QCOMPARE(form.ProgressMax(), int64_t{100});
    QVERIFY_THROWS_EXCEPTION(Exception, form.SetProgressMax(-1));
    QCOMPARE(form.ProgressMax(), int64_t{100});
    form.SetProgressMax(1000);
    form.SetProgressPosition(2500);
    QCOMPARE(form.pb1->value(), form.pb1->maximum());  // beyond the end: shown full
    QCOMPARE(form.pb1->Position(), int64_t{2500});
    form.SetProgressPosition(-3);
    QCOMPARE(form.pb1->value(), 0);
    form.SetProgressMax(0);  // unknown length: an empty bar, not a busy one
    QVERIFY(form.pb1->maximum() > form.pb1->minimum());
    form.SetProgressVisible(true);
    QVERIFY(form.pb1->isVisibleTo(&form));
    // Lengths beyond the widget's int range: the same proportion, no wrap.
    for (const int64_t length : {int64_t{3} << 30, (int64_t{1} << 32) + 4, int64_t{5} << 40}) {
      form.SetProgressMax(length);
      QCOMPARE(form.ProgressMax(), length);
      form.SetProgressPosition(length / 4);
      QVERIFY(qAbs(form.pb1->value() * 4.0 / form.pb1->maximum() - 1) < 0.001);
      form.SetProgressPosition(length);
      QCOMPARE(form.pb1->value(), form.pb1->maximum());
    }
  }

  void screenReaderHearsCaptionsAndStatus() {
    QAccessible::setActive(true);
    TMainForm form;
    form.show();
    QAccessibleInterface* next = QAccessible::queryAccessibleInterface(form.buttonOK);
    QVERIFY(next);
    QCOMPARE(next->text(QAccessible::Name), QStringLiteral("Next"));
    QCOMPARE(QAccessible::queryAccessibleInterface(form.LB)->text(QAccessible::Name),
             QStringLiteral("Updates"));

    gAccessibleEvents.clear();
    gAccessibleWatched = form.Panel4;
    const auto previous = QAccessible::installUpdateHandler(RecordAccessibleEvent);
    form.SetStatusLine("Connecting with Computer QUORVIN Server.");
    QAccessible::installUpdateHandler(previous);
    gAccessibleWatched = nullptr;

    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(form.Panel4);
    QVERIFY(status);
    QCOMPARE(status->text(QAccessible::Name),
             QStringLiteral("Connecting with Computer QUORVIN Server."));
    QCOMPARE(status->text(QAccessible::Description), QStringLiteral("Status line"));
    QCOMPARE(status->role(), QAccessible::StatusBar);
    // Change events travel only while an accessibility bridge is active, which
    // the offscreen platform does not provide.
    if (QAccessible::isActive())
      QVERIFY(std::count(gAccessibleEvents.begin(), gAccessibleEvents.end(),
                         QAccessible::NameChanged) >= 1);
  }
};

QTEST_MAIN(MainFormTest)
#include "MainForm_test.moc"
