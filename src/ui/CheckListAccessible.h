#pragma once
// What assistive technology sees of the check list.  The rows are painted, not
// widgets, so without this interface a screen reader would find an empty list:
// it presents the list with one child per row, read as AccessibleRowText gives
// it, with the row's checked, disabled, selected and focused states and a
// "toggle" action that obeys the same rules as the mouse and Space.
#include <QAccessibleWidget>
#include <QPointer>
#include <unordered_map>

class TCheckListBox;

// Registers the factory that gives every TCheckListBox this interface; safe to
// call more than once.
void InstallCheckListAccessibility();

class TCheckListAccessible : public QAccessibleWidget {
 public:
  explicit TCheckListAccessible(QWidget* list);
  ~TCheckListAccessible() override;

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

 private:
  TCheckListBox* List() const;

  // Row interfaces are created on first request and live as long as this one.
  mutable std::unordered_map<int, QAccessible::Id> FRowIds;
};

class TCheckListRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TCheckListRowAccessible(TCheckListBox* list, int index);

  int Index() const { return FIndex; }

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text kind) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  QStringList keyBindingsForAction(const QString& actionName) const override;

 private:
  QPointer<TCheckListBox> FList;
  int FIndex;
};
