// The check list as the updater and the user work it: row states and their
// defaults, the check-box zone, keyboard moves around disabled rows,
// type-ahead, double click, drawing geometry and scrolling.
#include "ui/CheckListBox.h"

#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "util/Errors.h"

namespace {

// A list of the update list's size, shown, with the given rows.
std::unique_ptr<TCheckListBox> ShownList(const QStringList& rows) {
  auto list = std::make_unique<TCheckListBox>();
  list->resize(689, 276);
  for (const QString& row : rows) list->AddItem(row);
  list->show();
  if (!QTest::qWaitForWindowExposed(list.get())) qFatal("list window not exposed");
  return list;
}

// The point x pixels right of row index's left edge, halfway down the row.
QPoint RowPoint(const TCheckListBox& list, int index, int x) {
  const QRect row = list.ItemRect(index);
  return QPoint(row.left() + x, row.top() + row.height() / 2);
}

void Click(TCheckListBox& list, QPoint point) {
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, point);
}

void Key(TCheckListBox& list, Qt::Key key) { QTest::keyClick(&list, key); }

}  // namespace

class CheckListBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void appendedRowIsUncheckedEnabledWithoutStateObject() {
    TCheckListBox list;
    list.AddItem("a");
    QCOMPARE(list.Count(), 1);
    QVERIFY(!list.Checked(0));
    QVERIFY(list.ItemEnabled(0));
    QVERIFY(!list.Header(0));
    QCOMPARE(list.Data(0), std::intptr_t{0});
    QVERIFY(!list.HasRowState(0));

    list.SetChecked(0, false);  // the default: still no state object
    list.SetItemEnabled(0, true);
    QVERIFY(!list.HasRowState(0));

    list.SetChecked(0, true);
    QVERIFY(list.HasRowState(0));
    QVERIFY(list.Checked(0));
    QVERIFY(list.ItemEnabled(0));

    list.SetChecked(0, false);
    list.SetItemEnabled(0, false);
    QVERIFY(!list.Checked(0));
    QVERIFY(!list.ItemEnabled(0));
  }

  void settersOnDisabledRowKeepTheOtherState() {
    TCheckListBox list;
    list.AddItem("a");
    list.SetItemEnabled(0, false);
    list.SetChecked(0, true);  // allowed on a disabled row
    QVERIFY(list.Checked(0));
    list.SetItemEnabled(0, true);  // does not touch the check state
    QVERIFY(list.Checked(0));
  }

  void indexOutsideTheRowsRaisesTheListIndexError() {
    TCheckListBox list;
    list.AddItem("a");
    QVERIFY_THROWS_EXCEPTION(EStringListError, list.Item(1));
    QVERIFY_THROWS_EXCEPTION(EStringListError, list.Checked(-1));
    QVERIFY_THROWS_EXCEPTION(EStringListError, list.SetChecked(5, true));
    list.SetItemIndex(7);  // outside: no current row, no error
    QCOMPARE(list.ItemIndex(), -1);
  }

  void clearDropsRowsStatesAndSelection() {
    TCheckListBox list;
    list.AddItem("a");
    list.SetChecked(0, true);
    list.SetItemIndex(0);
    list.Clear();
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.ItemIndex(), -1);
    list.AddItem("b");
    QVERIFY(!list.Checked(0));
    QVERIFY(!list.HasRowState(0));
  }

  void settingTheSameValueRedrawsNothing() {
    auto list = ShownList({"a", "b"});
    int paints = 0;
    struct Counter : QObject {
      int* count;
      explicit Counter(int* c) : count(c) {}
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++*count;
        return false;
      }
    } counter(&paints);
    list->viewport()->installEventFilter(&counter);
    list->viewport()->update();
    QTRY_VERIFY(paints > 0);  // the window's own painting has come through
    QVERIFY(QTest::qWaitForWindowActive(list.get()));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    paints = 0;

    list->SetChecked(0, false);
    list->SetItemEnabled(1, true);
    QCoreApplication::processEvents();
    QCOMPARE(paints, 0);

    list->SetChecked(0, true);
    QTRY_VERIFY(paints > 0);
  }

  void pressInsideTheCheckZoneToggles() {
    auto list = ShownList({"a", "b"});
    int checks = 0;
    list->OnClickCheck = [&](TCheckListBox*, int index) { checks += index == 1; };
    Click(*list, RowPoint(*list, 1, 10));
    QVERIFY(list->Checked(1));
    QCOMPARE(list->ItemIndex(), 1);
    QCOMPARE(checks, 1);
    Click(*list, RowPoint(*list, 1, 10));
    QVERIFY(!list->Checked(1));
    QCOMPARE(checks, 2);
  }

  void pressOutsideTheCheckZoneOnlySelects() {
    auto list = ShownList({"a", "b"});
    Click(*list, RowPoint(*list, 1, 15));  // inside the 16-pixel column, outside W
    QCOMPARE(list->ItemIndex(), 1);
    QVERIFY(!list->Checked(1));
    Click(*list, RowPoint(*list, 0, 300));
    QCOMPARE(list->ItemIndex(), 0);
    QVERIFY(!list->Checked(0));
  }

  void pressBelowTheLastRowTogglesNothing() {
    auto list = ShownList({"a", "b"});
    list->SetItemIndex(1);
    Click(*list, QPoint(10, 2 * 18 + 5));
    QVERIFY(!list->Checked(0));
    QVERIFY(!list->Checked(1));
    QCOMPARE(list->ItemIndex(), 1);
  }

  void disabledRowSelectsButNeverToggles() {
    auto list = ShownList({"a", "b"});
    list->SetItemEnabled(1, false);
    int checks = 0;
    list->OnClickCheck = [&](TCheckListBox*, int) { ++checks; };
    Click(*list, RowPoint(*list, 1, 10));
    QCOMPARE(list->ItemIndex(), 1);
    QVERIFY(!list->Checked(1));
    Key(*list, Qt::Key_Space);
    QVERIFY(!list->Checked(1));
    QCOMPARE(checks, 0);
  }

  void spaceTogglesTheCurrentRowOnly() {
    auto list = ShownList({"a", "b"});
    Key(*list, Qt::Key_Space);  // no current row: nothing
    QVERIFY(!list->Checked(0) && !list->Checked(1));
    list->SetItemIndex(1);
    Key(*list, Qt::Key_Space);
    QVERIFY(list->Checked(1));
    QVERIFY(!list->Checked(0));
  }

  void doubleClickReportsWithoutToggling() {
    auto list = ShownList({"a", "b"});
    list->SetItemEnabled(1, false);
    int reports = 0;
    list->OnDblClick = [&](TCheckListBox*) { ++reports; };
    QWindow* window = list->window()->windowHandle();
    const auto inWindow = [&](QPoint p) { return list->viewport()->mapTo(list->window(), p); };

    // Outside the check zone: the folder report, no toggle.
    QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow(RowPoint(*list, 0, 100)));
    QCOMPARE(reports, 1);
    QVERIFY(!list->Checked(0));
    // In the check zone: only the first press toggles.
    QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow(RowPoint(*list, 0, 5)));
    QCOMPARE(reports, 2);
    QVERIFY(list->Checked(0));
    // A disabled row still opens the report and becomes current.
    QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow(RowPoint(*list, 1, 5)));
    QCOMPARE(reports, 3);
    QCOMPARE(list->ItemIndex(), 1);
    QVERIFY(!list->Checked(1));
  }

  void downAndUpSkipDisabledRows() {
    auto list = ShownList({"a", "b", "c", "d"});
    list->SetItemEnabled(1, false);
    list->SetItemEnabled(2, false);
    list->SetItemIndex(0);
    Key(*list, Qt::Key_Down);
    QCOMPARE(list->ItemIndex(), 3);
    Key(*list, Qt::Key_Down);
    QCOMPARE(list->ItemIndex(), 3);
    Key(*list, Qt::Key_Up);
    QCOMPARE(list->ItemIndex(), 0);
  }

  void withoutEnabledRowAheadTheKeyMovesOneRow() {
    auto list = ShownList({"a", "b", "c"});
    list->SetItemEnabled(1, false);
    list->SetItemEnabled(2, false);
    list->SetItemIndex(0);
    Key(*list, Qt::Key_Down);
    QCOMPARE(list->ItemIndex(), 1);
  }

  void homeAndEndRefuseADisabledEndRow() {
    auto list = ShownList({"a", "b", "c"});
    list->SetItemEnabled(0, false);
    list->SetItemIndex(1);
    Key(*list, Qt::Key_Home);
    QCOMPARE(list->ItemIndex(), 1);
    Key(*list, Qt::Key_End);
    QCOMPARE(list->ItemIndex(), 2);
    list->SetItemEnabled(0, true);
    list->SetItemEnabled(2, false);
    Key(*list, Qt::Key_Home);
    QCOMPARE(list->ItemIndex(), 0);
    Key(*list, Qt::Key_End);
    QCOMPARE(list->ItemIndex(), 0);
  }

  void typeAheadFindsRowsAndRestartsAfterAPause() {
    auto list = ShownList({"Vision,main.exe", "Books,books.exe", "Bridge,bridge.dll"});
    std::int64_t now = 1000;
    list->Clock = [&] { return now; };
    QTest::keyClicks(list.get(), "b");
    QCOMPARE(list->ItemIndex(), 1);
    now += 499;
    QTest::keyClicks(list.get(), "R");  // "bR": case does not matter
    QCOMPARE(list->ItemIndex(), 2);
    now += 500;  // a pause of 500 ms starts a new search
    QTest::keyClicks(list.get(), "v");
    QCOMPARE(list->ItemIndex(), 0);
    now += 10;
    QTest::keyClicks(list.get(), "x");  // "vx" matches nothing: stay
    QCOMPARE(list->ItemIndex(), 0);
  }

  void drawHandlerGetsTheRectRightOfTheCheckColumn() {
    QList<QRect> rects;
    QList<TOwnerDrawState> states;
    TCheckListBox list;
    list.resize(689, 276);
    list.AddItem("a");
    list.AddItem("b");
    list.SetItemIndex(1);
    list.SetItemEnabled(0, false);
    list.OnDrawItem = [&](TCheckListBox*, int index, QPainter& canvas, const QRect& rect,
                          TOwnerDrawState state) {
      if (index == 0) rects << rect;
      if (index == 1) states << state;
      canvas.fillRect(rect, Qt::red);
    };
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTRY_VERIFY(!rects.isEmpty());
    QCOMPARE(rects.first(), QRect(16, 0, list.viewport()->width() - 16, 18));
    QVERIFY(!states.isEmpty() && states.last().selected);

    // The check box is drawn after the handler: its red fill never covers it.
    const QImage image = list.viewport()->grab().toImage();
    for (int x = 0; x < 16; ++x) QVERIFY(image.pixelColor(x, 9) != QColor(Qt::red));
    QCOMPARE(image.pixelColor(40, 9), QColor(Qt::red));
  }

  void disabledRowOrListIsDrawnDisabled() {
    bool rowDisabled = false, otherDisabled = true;
    TCheckListBox list;
    list.AddItem("a");
    list.AddItem("b");
    list.SetItemEnabled(0, false);
    list.OnDrawItem = [&](TCheckListBox*, int index, QPainter&, const QRect&, TOwnerDrawState s) {
      (index == 0 ? rowDisabled : otherDisabled) = s.disabled;
    };
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTRY_VERIFY(rowDisabled);
    QVERIFY(!otherDisabled);
    list.setEnabled(false);
    QTRY_VERIFY(otherDisabled);
  }

  void manyRowsScrollByRows() {
    QStringList rows;
    for (int i = 0; i < 30; ++i) rows << QString("row %1").arg(i);
    auto list = ShownList(rows);
    const int fullRows = list->viewport()->height() / 18;
    QCOMPARE(list->verticalScrollBar()->maximum(), 30 - fullRows);
    list->SetItemIndex(29);  // the row being worked on is brought into view
    QCOMPARE(list->TopIndex(), 30 - fullRows);
    QCOMPARE(list->ItemRect(29).bottom(), (fullRows - 1) * 18 + 17);
    Click(*list, RowPoint(*list, 29 - fullRows + 1, 10));  // the first row in view
    QVERIFY(list->Checked(29 - fullRows + 1));
    QCOMPARE(list->ItemAtPos(QPoint(3, 3)), list->TopIndex());
  }
};

QTEST_MAIN(CheckListBoxTest)
#include "CheckListBox_test.moc"
