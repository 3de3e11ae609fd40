#include "ui/CheckListAccessible.h"

#include <QWidget>

#include "ui/CheckListBox.h"

namespace {

QAccessibleInterface* CheckListFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("TCheckListBox") && object && object->isWidgetType())
    return new TCheckListAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

void InstallCheckListAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(CheckListFactory);
    return true;
  }();
  (void)installed;
}

// ---- the list ---------------------------------------------------------------

TCheckListAccessible::TCheckListAccessible(QWidget* list)
    : QAccessibleWidget(list, QAccessible::List) {}

TCheckListAccessible::~TCheckListAccessible() {
  for (const auto& [index, id] : FRowIds) QAccessible::deleteAccessibleInterface(id);
}

TCheckListBox* TCheckListAccessible::List() const { return static_cast<TCheckListBox*>(widget()); }

int TCheckListAccessible::childCount() const { return List()->Count(); }

QAccessibleInterface* TCheckListAccessible::child(int index) const {
  if (index < 0 || index >= List()->Count()) return nullptr;
  auto found = FRowIds.find(index);
  if (found != FRowIds.end()) return QAccessible::accessibleInterface(found->second);
  auto* row = new TCheckListRowAccessible(List(), index);
  FRowIds[index] = QAccessible::registerAccessibleInterface(row);
  return row;
}

int TCheckListAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const auto* row = dynamic_cast<const TCheckListRowAccessible*>(child);
  return row && row->isValid() && row->parent() == this ? row->Index() : -1;
}

QAccessibleInterface* TCheckListAccessible::childAt(int x, int y) const {
  const QPoint local = List()->viewport()->mapFromGlobal(QPoint(x, y));
  const int index = List()->ItemAtPos(local);
  return index >= 0 ? child(index) : nullptr;
}

QAccessibleInterface* TCheckListAccessible::focusChild() const {
  if (!List()->hasFocus()) return nullptr;
  const int index = List()->ItemIndex();
  return index >= 0 ? child(index) : nullptr;
}

// ---- one row ----------------------------------------------------------------

TCheckListRowAccessible::TCheckListRowAccessible(TCheckListBox* list, int index)
    : FList(list), FIndex(index) {}

bool TCheckListRowAccessible::isValid() const { return FList && FIndex < FList->Count(); }

QWindow* TCheckListRowAccessible::window() const {
  return FList ? FList->window()->windowHandle() : nullptr;
}

QAccessibleInterface* TCheckListRowAccessible::parent() const {
  return FList ? QAccessible::queryAccessibleInterface(FList.data()) : nullptr;
}

QString TCheckListRowAccessible::text(QAccessible::Text kind) const {
  if (!isValid() || kind != QAccessible::Name) return {};
  if (FList->AccessibleRowText) return FList->AccessibleRowText(FIndex);
  return FList->Item(FIndex);
}

QRect TCheckListRowAccessible::rect() const {
  if (!isValid()) return {};
  const QRect row = FList->ItemRect(FIndex);
  return QRect(FList->viewport()->mapToGlobal(row.topLeft()), row.size());
}

QAccessible::State TCheckListRowAccessible::state() const {
  QAccessible::State state;
  if (!isValid()) {
    state.invalid = true;
    return state;
  }
  const bool current = FList->ItemIndex() == FIndex;
  state.checkable = true;
  state.checked = FList->Checked(FIndex);
  state.checkStateMixed = FList->State(FIndex) == TCheckBoxState::Grayed;
  state.disabled = !FList->ItemEnabled(FIndex) || !FList->isEnabled();
  state.selectable = true;
  state.selected = current;
  state.focusable = true;
  state.focused = current && FList->hasFocus();
  state.active = current;
  const QRect row = FList->ItemRect(FIndex);
  state.offscreen = !FList->viewport()->rect().intersects(row);
  state.invisible = !FList->isVisible();
  return state;
}

void* TCheckListRowAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
  return nullptr;
}

QStringList TCheckListRowAccessible::actionNames() const {
  if (!isValid() || !FList->ItemEnabled(FIndex)) return {};
  return {toggleAction()};
}

void TCheckListRowAccessible::doAction(const QString& actionName) {
  if (actionName == toggleAction() && isValid()) FList->ToggleByUser(FIndex);
}

QStringList TCheckListRowAccessible::keyBindingsForAction(const QString& actionName) const {
  if (actionName == toggleAction()) return {QStringLiteral("Space")};
  return {};
}
