#include "ui/CheckListBox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <chrono>

#include "ui/CheckListAccessible.h"
#include "ui/ErrorReport.h"
#include "util/Errors.h"

namespace {

// Our look supplies its own small check-box glyphs, 12 pixels wide; the check
// width W is the glyph plus 2, and each row reserves W + 2 for the column.
constexpr int kCheckGlyph = 12;
constexpr int kCheckWidth = kCheckGlyph + 2;
constexpr int kCheckColumn = kCheckWidth + 2;

std::int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsTypeAheadKey(const QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString text = event->text();
  return !text.isEmpty() && text.at(0).isPrint() && text.at(0) != QLatin1Char(' ');
}

}  // namespace

TCheckListBox::TCheckListBox(QWidget* parent) : QAbstractScrollArea(parent) {
  InstallCheckListAccessibility();
  Clock = SteadyMilliseconds;
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  verticalScrollBar()->setSingleStep(1);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  // The program has one list, the update list.
  setAccessibleName(QStringLiteral("Updates"));
  UpdateScrollRange();
}

TCheckListBox::~TCheckListBox() = default;

// ---- rows and their states -------------------------------------------------

int TCheckListBox::Count() const { return static_cast<int>(FRows.size()); }

void TCheckListBox::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
}

QString TCheckListBox::Item(int index) const {
  CheckIndex(index);
  return FRows[static_cast<size_t>(index)].Text;
}

void TCheckListBox::AddItem(const QString& text) {
  FRows.push_back(TRow{text, nullptr});
  UpdateScrollRange();
  RedrawRow(Count() - 1);
  QAccessibleEvent event(this, QAccessible::ObjectReorder);
  QAccessible::updateAccessibility(&event);
}

void TCheckListBox::Clear() {
  FRows.clear();  // frees every row's state object with its row
  FItemIndex = -1;
  UpdateScrollRange();
  viewport()->update();
  QAccessibleEvent event(this, QAccessible::ObjectReorder);
  QAccessible::updateAccessibility(&event);
}

const TCheckListRowState* TCheckListBox::RowState(int index) const {
  CheckIndex(index);
  return FRows[static_cast<size_t>(index)].State.get();
}

TCheckListRowState& TCheckListBox::EnsureRowState(int index) {
  CheckIndex(index);
  auto& state = FRows[static_cast<size_t>(index)].State;
  if (!state) state = std::make_unique<TCheckListRowState>();
  return *state;
}

bool TCheckListBox::HasRowState(int index) const { return RowState(index) != nullptr; }

TCheckBoxState TCheckListBox::State(int index) const {
  const TCheckListRowState* state = RowState(index);
  return state ? state->FState : TCheckBoxState::Unchecked;
}

void TCheckListBox::SetState(int index, TCheckBoxState value) {
  if (State(index) == value) return;
  EnsureRowState(index).FState = value;
  RedrawCheckBox(index);
  AnnounceCheckState(index);
}

bool TCheckListBox::Checked(int index) const { return State(index) == TCheckBoxState::Checked; }

void TCheckListBox::SetChecked(int index, bool value) {
  if (Checked(index) == value) return;
  SetState(index, value ? TCheckBoxState::Checked : TCheckBoxState::Unchecked);
}

bool TCheckListBox::ItemEnabled(int index) const {
  const TCheckListRowState* state = RowState(index);
  return !state || !state->FDisabled;
}

void TCheckListBox::SetItemEnabled(int index, bool value) {
  if (ItemEnabled(index) == value) return;
  EnsureRowState(index).FDisabled = !value;
  RedrawCheckBox(index);
  AnnounceCheckState(index);
}

bool TCheckListBox::Header(int index) const {
  const TCheckListRowState* state = RowState(index);
  return state && state->FHeader;
}

void TCheckListBox::SetHeader(int index, bool value) {
  if (Header(index) == value) return;
  EnsureRowState(index).FHeader = value;
  RedrawRow(index);
}

std::intptr_t TCheckListBox::Data(int index) const {
  const TCheckListRowState* state = RowState(index);
  return state ? state->FData : 0;
}

void TCheckListBox::SetData(int index, std::intptr_t value) {
  if (Data(index) == value) return;
  EnsureRowState(index).FData = value;
}

// ---- selection and geometry ------------------------------------------------

int TCheckListBox::ItemIndex() const { return FItemIndex; }

void TCheckListBox::SetItemIndex(int index) {
  if (index < 0 || index >= Count()) index = -1;
  if (index == FItemIndex) return;
  const int previous = FItemIndex;
  FItemIndex = index;
  RedrawRow(previous);
  RedrawRow(index);
  MakeVisible(index);
  AnnounceSelection();
}

int TCheckListBox::ItemHeight() const { return kItemHeight; }

int TCheckListBox::CheckWidth() const { return kCheckWidth; }

int TCheckListBox::TopIndex() const { return verticalScrollBar()->value(); }

QRect TCheckListBox::ItemRect(int index) const {
  if (index < 0 || index >= Count()) return {};
  return QRect(0, (index - TopIndex()) * kItemHeight, viewport()->width(), kItemHeight);
}

int TCheckListBox::ItemAtPos(const QPoint& point) const {
  if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width()) return -1;
  const int index = TopIndex() + point.y() / kItemHeight;
  return index < Count() ? index : -1;
}

void TCheckListBox::MakeVisible(int index) {
  if (index < 0 || index >= Count()) return;
  const int fullRows = std::max(1, viewport()->height() / kItemHeight);
  if (index < TopIndex())
    verticalScrollBar()->setValue(index);
  else if (index >= TopIndex() + fullRows)
    verticalScrollBar()->setValue(index - fullRows + 1);
}

QRect TCheckListBox::CheckBoxRect(int index) const {
  const QRect row = ItemRect(index);
  return row.isNull() ? row : QRect(row.left(), row.top(), kCheckColumn, row.height());
}

void TCheckListBox::RedrawCheckBox(int index) {
  const QRect box = CheckBoxRect(index);
  if (!box.isNull()) viewport()->update(box);
}

void TCheckListBox::RedrawRow(int index) {
  const QRect row = ItemRect(index);
  if (!row.isNull()) viewport()->update(row);
}

// Rows scroll whole: the bar counts rows, and its range ends when the last row
// is fully in view.
void TCheckListBox::UpdateScrollRange() {
  const int fullRows = std::max(1, viewport()->height() / kItemHeight);
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(fullRows);
  bar->setRange(0, std::max(0, Count() - fullRows));
}

void TCheckListBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollRange();
}

void TCheckListBox::scrollContentsBy(int, int) { viewport()->update(); }

// ---- painting --------------------------------------------------------------

void TCheckListBox::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRect dirty = event->rect();
  painter.fillRect(dirty, palette().brush(QPalette::Base));
  const int first = TopIndex() + std::max(0, dirty.top()) / kItemHeight;
  for (int index = first; index < Count(); ++index) {
    const QRect row = ItemRect(index);
    if (row.top() > dirty.bottom()) break;
    PaintRow(painter, index);
  }
}

void TCheckListBox::PaintRow(QPainter& painter, int index) {
  const QRect row = ItemRect(index);
  const QRect drawRect = row.adjusted(kCheckColumn, 0, 0, 0);

  TOwnerDrawState state;
  state.selected = index == FItemIndex;
  state.focused = state.selected && hasFocus();
  state.disabled = !ItemEnabled(index) || !isEnabled();

  painter.fillRect(drawRect, palette().brush(QPalette::Base));
  const QPalette::ColorRole back = state.selected ? QPalette::Highlight : QPalette::Base;
  const QPalette::ColorRole fore = state.selected ? QPalette::HighlightedText : QPalette::Text;
  painter.setBrush(palette().brush(back));
  painter.setPen(palette().color(fore));
  painter.setFont(font());

  painter.save();
  RunGuardedWhilePainting([&] {
    if (OnDrawItem) {
      OnDrawItem(this, index, painter, drawRect, state);
    } else {
      painter.fillRect(drawRect, painter.brush());
      painter.drawText(drawRect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       FRows[static_cast<size_t>(index)].Text);
    }
  });
  painter.restore();

  PaintCheckBox(painter, index);
}

void TCheckListBox::PaintCheckBox(QPainter& painter, int index) {
  const QRect column = CheckBoxRect(index);
  painter.fillRect(column, palette().brush(QPalette::Base));

  QStyleOptionButton option;
  option.initFrom(this);
  option.rect = QRect(column.left() + (kCheckColumn - kCheckGlyph) / 2,
                      column.top() + (kItemHeight - kCheckGlyph) / 2, kCheckGlyph, kCheckGlyph);
  option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
  switch (State(index)) {
    case TCheckBoxState::Checked:
      option.state |= QStyle::State_On;
      break;
    case TCheckBoxState::Grayed:
      option.state |= QStyle::State_NoChange;
      break;
    case TCheckBoxState::Unchecked:
      option.state |= QStyle::State_Off;
      break;
  }
  if (!ItemEnabled(index) || !isEnabled()) option.state &= ~QStyle::State_Enabled;
  style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
}

// ---- toggling and selection by the user ------------------------------------

void TCheckListBox::ToggleByUser(int index) {
  if (index < 0 || index >= Count() || !ItemEnabled(index)) return;
  switch (State(index)) {
    case TCheckBoxState::Unchecked:
      SetState(index, AllowGrayed ? TCheckBoxState::Grayed : TCheckBoxState::Checked);
      break;
    case TCheckBoxState::Checked:
      SetState(index, TCheckBoxState::Unchecked);
      break;
    case TCheckBoxState::Grayed:
      SetState(index, TCheckBoxState::Checked);
      break;
  }
  if (OnClickCheck) RunGuarded([&] { OnClickCheck(this, index); });
}

void TCheckListBox::SelectByUser(int index) {
  if (index == FItemIndex) return;
  SetItemIndex(index);
  if (OnClick) RunGuarded([&] { OnClick(this); });
}

void TCheckListBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const QPoint point = event->position().toPoint();
  const int index = ItemAtPos(point);
  if (index < 0) return;
  SelectByUser(index);
  if (ItemEnabled(index) && point.x() - ItemRect(index).left() < kCheckWidth) ToggleByUser(index);
}

void TCheckListBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    event->accept();
  else
    QAbstractScrollArea::mouseReleaseEvent(event);
}

// The window system hands the second press of a double click over as the
// double click alone, so the first press is the only one that toggles.
void TCheckListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseDoubleClickEvent(event);
    return;
  }
  if (DblClickToggle) ToggleByUser(FItemIndex);
  if (OnDblClick) RunGuarded([&] { OnDblClick(this); });
}

void TCheckListBox::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      ToggleByUser(FItemIndex);
      break;
    case Qt::Key_Up:
      MoveVertically(-1);
      break;
    case Qt::Key_Down:
      MoveVertically(+1);
      break;
    case Qt::Key_Home:
      MoveToEnd(false);
      break;
    case Qt::Key_End:
      MoveToEnd(true);
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int step = verticalScrollBar()->pageStep();
      const int from = std::max(0, FItemIndex);
      const int to = event->key() == Qt::Key_PageUp ? from - step : from + step;
      if (Count() > 0) SelectByUser(std::clamp(to, 0, Count() - 1));
      break;
    }
    default:
      if (!IsTypeAheadKey(event)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
      }
      TypeAhead(event->text());
  }
  event->accept();
}

// Up and Down go to the nearest enabled row; with none that way they move one
// row, as any list does.  With no current row both start at the first row.
void TCheckListBox::MoveVertically(int direction) {
  if (Count() == 0) return;
  if (FItemIndex < 0) {
    int index = 0;
    while (index < Count() && !ItemEnabled(index)) ++index;
    SelectByUser(index < Count() ? index : 0);
    return;
  }
  for (int index = FItemIndex + direction; index >= 0 && index < Count(); index += direction) {
    if (ItemEnabled(index)) {
      SelectByUser(index);
      return;
    }
  }
  const int next = FItemIndex + direction;
  if (next >= 0 && next < Count()) SelectByUser(next);
}

void TCheckListBox::MoveToEnd(bool last) {
  if (Count() == 0) return;
  const int target = last ? Count() - 1 : 0;
  if (ItemEnabled(target)) SelectByUser(target);
}

void TCheckListBox::TypeAhead(const QString& text) {
  const std::int64_t now = Clock ? Clock() : SteadyMilliseconds();
  if (!FSearchStarted || now - FLastSearchKey >= kTypeAheadPauseMs) FSearchText.clear();
  FSearchStarted = true;
  FLastSearchKey = now;
  FSearchText += text;
  for (int index = 0; index < Count(); ++index) {
    if (FRows[static_cast<size_t>(index)].Text.startsWith(FSearchText, Qt::CaseInsensitive)) {
      SelectByUser(index);
      return;
    }
  }
}

// ---- focus, enabled state and assistive technology -------------------------

void TCheckListBox::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RedrawRow(FItemIndex);
}

void TCheckListBox::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  RedrawRow(FItemIndex);
}

void TCheckListBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) viewport()->update();
}

void TCheckListBox::AnnounceSelection() {
  if (FItemIndex < 0 || !QAccessible::isActive()) return;
  QAccessibleEvent selection(this, QAccessible::Selection);
  selection.setChild(FItemIndex);
  QAccessible::updateAccessibility(&selection);
  if (hasFocus()) {
    QAccessibleEvent focus(this, QAccessible::Focus);
    focus.setChild(FItemIndex);
    QAccessible::updateAccessibility(&focus);
  }
}

void TCheckListBox::AnnounceCheckState(int index) {
  if (!QAccessible::isActive()) return;
  QAccessible::State changed;
  changed.checked = true;
  changed.disabled = true;
  QAccessibleStateChangeEvent event(this, changed);
  event.setChild(index);
  QAccessible::updateAccessibility(&event);
}
