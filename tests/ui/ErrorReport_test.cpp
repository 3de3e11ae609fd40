// The error report: the message rules, the box itself, the silent error, and
// the guards at the dispatch points (handlers, drawing, notify) after which the
// program goes on.
#include "ui/ErrorReport.h"

#include <QAccessible>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <cerrno>
#include <new>

#include "ui/CheckListBox.h"
#include "ui/InformationBox.h"
#include "util/Errors.h"

namespace {

struct TShownBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
};

// Answers every box with OK and records what it showed.
class TBoxRecorder {
 public:
  TBoxRecorder() {
    SetModalBoxHook([this](QDialog& box) {
      TShownBox shown;
      shown.title = box.windowTitle();
      if (auto* message = qobject_cast<QMessageBox*>(&box)) {
        shown.text = message->text();
        shown.icon = message->icon();
        shown.buttons = message->buttons().size();
      }
      if (BeforeClose) BeforeClose();
      boxes << shown;
      box.accept();
    });
  }
  ~TBoxRecorder() { SetModalBoxHook(nullptr); }
  QList<TShownBox> boxes;
  std::function<void()> BeforeClose;
};

template <typename Raise>
QString ReportTextOf(Raise raise) {
  try {
    raise();
  } catch (const std::exception& error) {
    return ErrorReportText(error);
  }
  return "(nothing raised)";
}

// An object whose every custom event fails, as a handler would.
class TFailingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) RaiseListIndexError(3);
    return QObject::event(event);
  }
};

}  // namespace

class ErrorReportTest : public QObject {
  Q_OBJECT

 private slots:
  void conversionErrorGetsAFullStop() {
    QCOMPARE(ReportTextOf([] { RaiseConvertError("x1"); }),
             QString("''x1'' is not a valid integer value."));
  }

  void indexErrorEndsInAParenthesisAndKeepsIt() {
    QCOMPARE(ReportTextOf([] { RaiseListIndexError(9); }), QString("List index out of bounds (9)"));
  }

  void createErrorNamesPathAndReason() {
    QCOMPARE(ReportTextOf([] { RaiseCreateError("/srv/q/allfiles.ini", ENOENT); }),
             QString("Cannot create file \"/srv/q/allfiles.ini\". No such file or directory."));
  }

  void fullStopRuleByLastCharacter() {
    const auto text = [](const char* message) { return ErrorReportText(Exception(message)); };
    QCOMPARE(text("Done."), QString("Done."));
    QCOMPARE(text(""), QString(""));
    QCOMPARE(text("Really?"), QString("Really?."));
    QCOMPARE(text("code 7"), QString("code 7."));
    QCOMPARE(text("said \"no\""), QString("said \"no\""));
    QCOMPARE(text("it's 'x'"), QString("it's 'x'"));
    QCOMPARE(text("trailing "), QString("trailing "));
    QCOMPARE(text("Fehler: Datei \xc3\xa9"), QString::fromUtf8("Fehler: Datei \xc3\xa9."));
  }

  void wrappedErrorsShowTheInnermostMessage() {
    const QString text = ReportTextOf([] {
      try {
        try {
          RaiseConvertError("x1");
        } catch (...) {
          std::throw_with_nested(Exception("middle"));
        }
      } catch (...) {
        std::throw_with_nested(Exception("outer"));
      }
    });
    QCOMPARE(text, QString("''x1'' is not a valid integer value."));

    const QString emptyInner = ReportTextOf([] {
      try {
        throw Exception("");
      } catch (...) {
        std::throw_with_nested(Exception("outer"));
      }
    });
    QCOMPARE(emptyInner, QString("outer."));
  }

  void errorBoxShowsTitleIconAndOneButton() {
    TBoxRecorder recorder;
    ShowErrorReport(EConvertError("''x1'' is not a valid integer value"));
    QCOMPARE(recorder.boxes.size(), 1);
    QCOMPARE(recorder.boxes[0].title, QString("Quorvin Program Updater"));
    QCOMPARE(recorder.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(recorder.boxes[0].buttons, 1);
    QCOMPARE(recorder.boxes[0].text, QString("''x1'' is not a valid integer value."));
  }

  // A server's status line with markup in it is shown, and read out, exactly
  // as it came.
  void markupInAStatusLineShowsAsTyped() {
    const QString statusLine = "HTTP/1.1 404 <b>Not</b> <font color=red size=6>Found</font>";
    QStringList shown, spoken;
    SetModalBoxHook([&](QDialog& box) {
      for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->textFormat() == Qt::PlainText) shown << label->text();
        if (QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label))
          spoken << accessible->text(QAccessible::Name);
      }
      box.accept();
    });
    ShowErrorReport(Exception(statusLine.toStdString()));
    SetModalBoxHook(nullptr);
    QVERIFY2(spoken.contains(statusLine + "."), qPrintable(spoken.join(" | ")));
    QVERIFY2(shown.contains(statusLine + "."), qPrintable(shown.join(" | ")));
  }

  // Memory running out anywhere is reported in the program's words.
  void badAllocIsOutOfMemory() {
    QCOMPARE(ReportTextOf([] { throw std::bad_alloc(); }), QString("Out of memory."));
    const QString nested = ReportTextOf([] {
      try {
        throw std::bad_alloc();
      } catch (...) {
        std::throw_with_nested(Exception("outer"));
      }
    });
    QCOMPARE(nested, QString("Out of memory."));
    TBoxRecorder recorder;
    RunGuarded([] { throw std::bad_array_new_length(); });
    QCOMPARE(recorder.boxes.size(), 1);
    QCOMPARE(recorder.boxes[0].text, QString("Out of memory."));
  }

  void emptyMessageGivesAnEmptyBox() {
    TBoxRecorder recorder;
    ShowErrorReport(Exception(""));
    QCOMPARE(recorder.boxes.size(), 1);
    QCOMPARE(recorder.boxes[0].text, QString(""));
    QCOMPARE(recorder.boxes[0].title, QString("Quorvin Program Updater"));
  }

  void silentErrorShowsNothing() {
    TBoxRecorder recorder;
    ShowErrorReport(EAbort("Operation aborted"));
    RunGuarded([] { throw EAbort(""); });
    QCOMPARE(recorder.boxes.size(), 0);
  }

  void guardedHandlerIsReportedAndTheProgramGoesOn() {
    TBoxRecorder recorder;
    bool after = false;
    RunGuarded([] { RaiseListIndexError(9); });
    after = true;
    QVERIFY(after);
    QCOMPARE(recorder.boxes.size(), 1);
    QCOMPARE(recorder.boxes[0].text, QString("List index out of bounds (9)"));

    RunGuarded([] { throw 42; });  // not an error object: still a clear box
    QCOMPARE(recorder.boxes.size(), 2);
    QCOMPARE(recorder.boxes[1].text, QString("An unexpected error occurred."));
  }

  void notifyIsTheBackstop() {
    TBoxRecorder recorder;
    TFailingObject failing;
    QEvent sent(QEvent::User);
    QCoreApplication::sendEvent(&failing, &sent);
    QCOMPARE(recorder.boxes.size(), 1);

    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QTRY_COMPARE(recorder.boxes.size(), 2);
    QCOMPARE(recorder.boxes[1].text, QString("List index out of bounds (3)"));
  }

  void drawingErrorIsReportedOnceOutsideThePaint() {
    TBoxRecorder recorder;
    TCheckListBox list;
    for (int i = 0; i < 5; ++i) list.AddItem("broken");
    bool painting = false, reportedWhilePainting = false;
    list.OnDrawItem = [&](TCheckListBox*, int index, QPainter&, const QRect&, TOwnerDrawState) {
      painting = true;
      struct TEnd {
        bool& flag;
        ~TEnd() { flag = false; }
      } end{painting};
      RaiseListIndexError(index + 7);
    };
    recorder.BeforeClose = [&] {
      reportedWhilePainting = reportedWhilePainting || painting;
      list.OnDrawItem = nullptr;  // the next paint succeeds
    };
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTRY_COMPARE(recorder.boxes.size(), 1);
    QCOMPARE(recorder.boxes[0].text, QString("List index out of bounds (7)"));
    QVERIFY(!reportedWhilePainting);
    // All five rows failed in that paint, yet only one box was stacked.
    list.viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(recorder.boxes.size(), 1);
  }
};

int main(int argc, char** argv) {
  TGuardedApplication app(argc, argv);
  ErrorReportTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ErrorReport_test.moc"
