// The information box as a person meets it: its content and layout, OK and
// Escape closing it alike, Ctrl+C copying its text block, and that it is
// modal while timers go on.
#include "ui/InformationBox.h"

#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

// Runs body on the box once it is up; the box must be closed by body.
struct TAnswer {
  explicit TAnswer(std::function<void(QDialog&)> body) { SetModalBoxHook(std::move(body)); }
  ~TAnswer() { SetModalBoxHook(nullptr); }
};

}  // namespace

class InformationBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void contentOfTheBox() {
    TInformationBox box("All files are already up to date.");
    QCOMPARE(box.windowTitle(), QString("Information"));
    QCOMPARE(box.TextLabel()->text(), QString("All files are already up to date."));
    QCOMPARE(box.OkButton()->text(), QString("OK"));
    QVERIFY(box.OkButton()->isDefault());
    QCOMPARE(box.findChildren<QPushButton*>().size(), 1);
  }

  // The folder report ends each line with CR LF: one line per folder, and the
  // break after the last adds no blank line to the box.
  void lineBreaksStartNewLines() {
    TInformationBox one("The program is in the following folder(s)");
    TInformationBox three("The program is in the following folder(s)\r\n/opt/a/\r\n/opt/b/\r\n");
    TInformationBox unended("The program is in the following folder(s)\r\n/opt/a/\r\n/opt/b/");
    QCOMPARE(three.TextLabel()->text(),
             QString("The program is in the following folder(s)\n/opt/a/\n/opt/b/"));
    QVERIFY(three.TextLabel()->height() >= 3 * one.TextLabel()->height());
    QVERIFY(three.TextLabel()->height() < 4 * one.TextLabel()->height());
    QVERIFY(three.height() > one.height());
    QCOMPARE(three.size(), unended.size());
    QCOMPARE(three.Message(),
             QString("The program is in the following folder(s)\r\n/opt/a/\r\n/opt/b/\r\n"));
  }

  void layoutFollowsTheDialogUnits() {
    TInformationBox box("Download Aborted");
    QLabel* icon = nullptr;
    for (QLabel* label : box.findChildren<QLabel*>())
      if (label != box.TextLabel()) icon = label;
    QVERIFY(icon);
    const QRect text = box.TextLabel()->geometry();
    const QRect button = box.OkButton()->geometry();
    // Icon 32 x 32 at the top-left margin, text right of it and top-aligned
    // with it, the button centred below the taller of the two.
    QCOMPARE(icon->size(), QSize(32, 32));
    QVERIFY(icon->x() > 0 && icon->y() > 0);
    QVERIFY(text.left() > icon->geometry().right() + 1);
    QCOMPARE(text.top(), icon->y());
    QCOMPARE(box.width() - text.right() - 1, icon->x());  // equal margins left and right
    QVERIFY(qAbs((button.left() + button.right()) - (box.width() - 1)) <= 1);
    QVERIFY(button.top() > qMax(text.bottom(), 32));
    QVERIFY(button.width() >= box.OkButton()->fontMetrics().horizontalAdvance("OK") + 8);
    QVERIFY(box.width() <= box.screen()->geometry().width());
  }

  void longTextIsWrappedAtHalfTheScreen() {
    const QString words = QString("word ").repeated(400);
    TInformationBox box(words);
    QVERIFY(box.TextLabel()->width() <= box.screen()->geometry().width() / 2);
    QVERIFY(box.TextLabel()->height() > 3 * box.fontMetrics().height());
  }

  void boxIsCentredOnTheScreen() {
    int dx = 1000, dy = 1000;
    TAnswer answer([&](QDialog& box) {
      const QRect screen = box.screen()->geometry();
      const QRect frame = box.frameGeometry();
      dx = (frame.left() - screen.left()) - (screen.width() - frame.width()) / 2;
      dy = (frame.top() - screen.top()) - (screen.height() - frame.height()) / 2;
      box.accept();
    });
    ShowInformationBox("Finished. ");
    QVERIFY(qAbs(dx) <= 1);
    QVERIFY(qAbs(dy) <= 1);
  }

  void okAndEscapeBothGiveTheOkResult() {
    {
      TAnswer answer([](QDialog& box) {
        QTest::mouseClick(static_cast<TInformationBox&>(box).OkButton(), Qt::LeftButton);
      });
      TInformationBox box("a");
      QCOMPARE(ExecModalBox(box), 1);
    }
    {
      TAnswer answer([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); });
      TInformationBox box("a");
      QCOMPARE(ExecModalBox(box), 1);
    }
    {
      TAnswer answer([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); });
      TInformationBox box("a");
      QCOMPARE(ExecModalBox(box), 1);
    }
  }

  void ctrlCCopiesTheTextBlock() {
    QString copied;
    TAnswer answer([&](QDialog& box) {
      QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
      copied = QGuiApplication::clipboard()->text();
      box.accept();
    });
    ShowInformationBox("Download Aborted");
    const QString rule(27, '-');
    QCOMPARE(copied, rule + "\r\nInformation\r\n" + rule + "\r\nDownload Aborted\r\n" + rule +
                         "\r\nOK   \r\n" + rule + "\r\n");
  }

  void modalWhileTimersGoOn() {
    QWidget main;
    QPushButton exitButton("Exit", &main);
    int exitClicks = 0;
    connect(&exitButton, &QPushButton::clicked, [&] { ++exitClicks; });
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();

    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);

    bool blocked = false;
    TAnswer answer([&](QDialog& box) {
      QTest::mouseClick(exitButton.window()->windowHandle(), Qt::LeftButton, {},
                        exitButton.mapTo(&main, exitButton.rect().center()));
      blocked = !main.isEnabled() || QApplication::activeModalWidget() == &box;
      QTRY_VERIFY(ticks >= 3);  // the timer ticks while the box is open
      box.accept();
    });
    ShowInformationBox("Some files could not be installed");
    QVERIFY(blocked);
    QCOMPARE(exitClicks, 0);
    QTest::mouseClick(&exitButton, Qt::LeftButton);
    QCOMPARE(exitClicks, 1);
  }

  void focusReturnsWhereItWas() {
    QWidget main;
    QPushButton first("first", &main), second("second", &main);
    second.move(0, 40);
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    second.setFocus();
    QTRY_VERIFY(second.hasFocus());
    bool boxHadFocus = false;
    TAnswer answer([&](QDialog& box) {
      QTRY_VERIFY(box.isActiveWindow());
      boxHadFocus = static_cast<TInformationBox&>(box).OkButton()->hasFocus();
      box.accept();
    });
    ShowInformationBox("Finished. ");
    QVERIFY(boxHadFocus);
    QTRY_VERIFY(second.hasFocus());
  }

  // With no window of the program active, a box still belongs to the
  // program's main window; once that is gone, to none.
  void ownerIsTheApplicationWindowWhenNoneIsActive() {
    QList<QWidget*> owners;
    TAnswer answer([&](QDialog& box) {
      owners << box.parentWidget();
      box.accept();
    });
    QTRY_VERIFY(!QApplication::activeWindow());
    {
      QWidget main;
      SetApplicationWindow(&main);
      ShowInformationBox("Finished. ");
      QCOMPARE(owners.value(0), &main);
    }
    ShowInformationBox("Finished. ");
    QCOMPARE(owners.value(1), nullptr);
  }

  void emptyMessageStillShowsIconAndButton() {
    TInformationBox box("");
    QVERIFY(box.height() > box.OkButton()->height() + 32);
    QVERIFY(box.OkButton()->geometry().top() > 32);
  }
};

QTEST_MAIN(InformationBoxTest)
#include "InformationBox_test.moc"
