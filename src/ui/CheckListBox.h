#pragma once
// The update list: a list of owner-drawn rows of fixed height, each with a
// check box in a column of its own at the row's left edge.  The window draws
// everything right of the check box through OnDrawItem; the list draws the
// background, the check box and nothing else.
#include <QAbstractScrollArea>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

struct TOwnerDrawState {
  bool selected = false, focused = false, disabled = false;
};

enum class TCheckBoxState : std::uint8_t { Unchecked = 0, Checked = 1, Grayed = 2 };

// The per-row states.  A row gets one only when one of its states is first
// set to something other than the default; a row without one reads as
// unchecked, enabled, no header row, data 0.
struct TCheckListRowState {
  bool FHeader = false;
  bool FDisabled = false;
  std::intptr_t FData = 0;
  TCheckBoxState FState = TCheckBoxState::Unchecked;
};

class TCheckListBox : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TCheckListBox(QWidget* parent = nullptr);
  ~TCheckListBox() override;

  int Count() const;
  QString Item(int index) const;  // raises the list index error outside the rows
  void AddItem(const QString& text);
  void Clear();

  bool Checked(int index) const;
  void SetChecked(int index, bool value);  // no-op when unchanged
  bool ItemEnabled(int index) const;
  void SetItemEnabled(int index, bool value);  // no-op when unchanged
  TCheckBoxState State(int index) const;
  void SetState(int index, TCheckBoxState value);
  bool Header(int index) const;
  void SetHeader(int index, bool value);
  std::intptr_t Data(int index) const;
  void SetData(int index, std::intptr_t value);
  // Whether row index has a state object yet (they are created lazily).
  bool HasRowState(int index) const;

  // The current row, -1 when there is none.  Setting an index outside the
  // rows clears the selection.
  int ItemIndex() const;
  void SetItemIndex(int index);

  int ItemHeight() const;  // 18
  int CheckWidth() const;  // W: the check-box glyph plus 2 (14 with our look)
  int TopIndex() const;    // the first row shown
  // The full row rectangle in viewport coordinates.
  QRect ItemRect(int index) const;
  // The row at a viewport point, -1 in the empty area below the last row.
  int ItemAtPos(const QPoint& point) const;
  // Makes row index visible by scrolling when it is not.
  void MakeVisible(int index);

  // The user's toggle, as by a press in the check zone or by Space: nothing
  // outside the rows or on a disabled row.
  void ToggleByUser(int index);

  bool AllowGrayed = false;
  bool DblClickToggle = false;

  std::function<void(TCheckListBox* control, int index, QPainter& canvas, const QRect& rect,
                     TOwnerDrawState state)>
      OnDrawItem;
  std::function<void(TCheckListBox* control)> OnDblClick;
  // Raised when the user changes the current row (mouse or keyboard).
  std::function<void(TCheckListBox* control)> OnClick;
  std::function<void(TCheckListBox* control, int index)> OnClickCheck;
  // How assistive technology reads a row; the raw item text when unset.
  std::function<QString(int index)> AccessibleRowText;
  // Milliseconds of a steady clock; type-ahead measures its pause with it.
  std::function<std::int64_t()> Clock;

  static constexpr int kItemHeight = 18;
  static constexpr int kTypeAheadPauseMs = 500;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void CheckIndex(int index) const;
  const TCheckListRowState* RowState(int index) const;
  TCheckListRowState& EnsureRowState(int index);
  QRect CheckBoxRect(int index) const;
  void RedrawCheckBox(int index);
  void RedrawRow(int index);
  void UpdateScrollRange();
  void SelectByUser(int index);
  void PaintRow(QPainter& painter, int index);
  void PaintCheckBox(QPainter& painter, int index);
  void MoveVertically(int direction);
  void MoveToEnd(bool last);
  void TypeAhead(const QString& text);
  void AnnounceSelection();
  void AnnounceCheckState(int index);

  struct TRow {
    QString Text;
    std::unique_ptr<TCheckListRowState> State;
  };
  std::vector<TRow> FRows;
  int FItemIndex = -1;
  QString FSearchText;
  std::int64_t FLastSearchKey = 0;
  bool FSearchStarted = false;
};
