// What a screen reader finds: the update list with one child per row, read as
// a person reads it, with its states and toggle action; the information box and
// the error report announced with caption and text.
#include <QAccessible>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "ui/CheckListBox.h"
#include "ui/ErrorReport.h"
#include "ui/InformationBox.h"
#include "util/Errors.h"

namespace {

std::unique_ptr<TCheckListBox> ShownList() {
  auto list = std::make_unique<TCheckListBox>();
  list->resize(689, 276);
  list->AddItem("Vision,Main,vision.exe,vision.exe,1.0.001,1.0.002,N,N,0");
  list->AddItem("Vision,Help,vision.exe,help.chm,1.0.001,1.1.000,Y,Y,0|2");
  list->AddItem("Books,Main,books.exe,books.exe,2.0.000,2.0.001,N,N,1");
  list->show();
  if (!QTest::qWaitForWindowExposed(list.get())) qFatal("list window not exposed");
  return list;
}

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  void listIsNamedUpdatesWithOneChildPerRow() {
    auto list = ShownList();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list.get());
    QVERIFY(iface && iface->isValid());
    QCOMPARE(iface->role(), QAccessible::List);
    QCOMPARE(iface->text(QAccessible::Name), QString("Updates"));
    QCOMPARE(iface->childCount(), 3);
    for (int i = 0; i < 3; ++i) {
      QAccessibleInterface* row = iface->child(i);
      QVERIFY(row && row->isValid());
      QCOMPARE(row->role(), QAccessible::ListItem);
      QCOMPARE(iface->indexOfChild(row), i);
      QCOMPARE(row->parent(), iface);
      QCOMPARE(iface->child(i), row);  // the same interface every time
    }
    QCOMPARE(iface->child(1)->text(QAccessible::Name), list->Item(1));
    QVERIFY(iface->child(3) == nullptr);
  }

  void rowsAreReadAsAPersonReadsThem() {
    auto list = ShownList();
    list->AccessibleRowText = [](int index) {
      return index == 1 ? QString("help.chm, current 1.0.001, available 1.1.000, duplicate, in use")
                        : QString("row %1").arg(index);
    };
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list.get());
    QCOMPARE(iface->child(1)->text(QAccessible::Name),
             QString("help.chm, current 1.0.001, available 1.1.000, duplicate, in use"));
    QCOMPARE(iface->child(0)->text(QAccessible::Name), QString("row 0"));
  }

  void rowStatesFollowTheList() {
    auto list = ShownList();
    list->SetChecked(0, true);
    list->SetItemEnabled(1, false);
    list->SetItemIndex(2);
    list->activateWindow();
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list.get());
    const QAccessible::State first = iface->child(0)->state();
    QVERIFY(first.checkable && first.checked && !first.disabled && !first.selected);
    const QAccessible::State second = iface->child(1)->state();
    QVERIFY(!second.checked && second.disabled);
    const QAccessible::State third = iface->child(2)->state();
    QVERIFY(third.selected && third.focused && !third.checked);
    QCOMPARE(iface->focusChild(), iface->child(2));

    list->setEnabled(false);
    QVERIFY(iface->child(0)->state().disabled);
  }

  void childAtFindsTheRowUnderAPoint() {
    auto list = ShownList();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list.get());
    const QPoint inRow1 = list->viewport()->mapToGlobal(list->ItemRect(1).center());
    QCOMPARE(iface->childAt(inRow1.x(), inRow1.y()), iface->child(1));
    QCOMPARE(iface->child(1)->rect().center(), inRow1);
    const QPoint belowRows = list->viewport()->mapToGlobal(QPoint(20, 200));
    QVERIFY(iface->childAt(belowRows.x(), belowRows.y()) == nullptr);
  }

  void toggleActionObeysTheDisabledRule() {
    auto list = ShownList();
    list->SetItemEnabled(1, false);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list.get());
    QAccessibleActionInterface* enabled = iface->child(0)->actionInterface();
    QVERIFY(enabled);
    QCOMPARE(enabled->actionNames(), QStringList{QAccessibleActionInterface::toggleAction()});
    enabled->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(list->Checked(0));

    QAccessibleActionInterface* disabled = iface->child(1)->actionInterface();
    QVERIFY(disabled->actionNames().isEmpty());
    disabled->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(!list->Checked(1));
  }

  void informationBoxIsAnnouncedWithCaptionAndText() {
    TInformationBox box("All files are already up to date.");
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&box);
    QCOMPARE(iface->role(), QAccessible::Dialog);
    QCOMPARE(iface->text(QAccessible::Name), QString("Information"));
    QCOMPARE(iface->text(QAccessible::Description), QString("All files are already up to date."));
    bool textFound = false, okFound = false;
    for (int i = 0; i < iface->childCount(); ++i) {
      QAccessibleInterface* child = iface->child(i);
      textFound |= child->text(QAccessible::Name) == "All files are already up to date.";
      okFound |= child->role() == QAccessible::Button && child->text(QAccessible::Name) == "OK";
    }
    QVERIFY(textFound);
    QVERIFY(okFound);
  }

  void errorReportIsAnnouncedWithCaptionAndText() {
    QString name, description;
    SetModalBoxHook([&](QDialog& box) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&box);
      name = iface->text(QAccessible::Name);
      description = iface->text(QAccessible::Description);
      box.accept();
    });
    ShowErrorReport(EConvertError("''x1'' is not a valid integer value"));
    SetModalBoxHook(nullptr);
    QCOMPARE(name, QString("Quorvin Program Updater"));
    QCOMPARE(description, QString("''x1'' is not a valid integer value."));
  }
};

QTEST_MAIN(AccessibilityTest)
#include "Accessibility_test.moc"
