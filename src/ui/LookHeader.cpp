#include "ui/LookHeader.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>
#include <algorithm>

#include "util/Errors.h"

namespace {
constexpr int kHeaderHeight = 24;
}

TLookHeader::TLookHeader(QWidget* parent) : QWidget(parent) {
  // The header only labels the columns: no clicks, no dragging of dividers.
  setEnabled(false);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName(QStringLiteral("Columns"));
}

void TLookHeader::AddSection(const QString& text, int width, bool autoSize) {
  THeaderSection section;
  section.Text = text;
  section.Width = std::clamp(width, 0, kMaxSectionWidth);
  section.AutoSize = autoSize;
  FSections.push_back(section);
  if (autoSize) ShareAutoSizeWidths();
  update();
}

void TLookHeader::SetSectionLimits(int index, int minWidth, int maxWidth) {
  CheckIndex(index);
  THeaderSection& section = FSections[static_cast<size_t>(index)];
  section.MaxWidth = std::clamp(maxWidth, 0, kMaxSectionWidth);
  section.MinWidth = std::clamp(minWidth, 0, section.MaxWidth);
  section.Width = std::clamp(section.Width, section.MinWidth, section.MaxWidth);
  ShareAutoSizeWidths();
  update();
}

int TLookHeader::SectionCount() const { return static_cast<int>(FSections.size()); }

void TLookHeader::CheckIndex(int index) const {
  if (index < 0 || index >= SectionCount()) RaiseListIndexError(index);
}

const TLookHeader::THeaderSection& TLookHeader::Section(int index) const {
  CheckIndex(index);
  if (FSharedForWidth != width()) ShareAutoSizeWidths();
  return FSections[static_cast<size_t>(index)];
}

int TLookHeader::SectionLeft(int index) const {
  CheckIndex(index);
  if (FSharedForWidth != width()) ShareAutoSizeWidths();
  int left = 0;
  for (int before = 0; before < index; ++before)
    left += FSections[static_cast<size_t>(before)].Width;
  return left;
}

QSize TLookHeader::sizeHint() const {
  if (FSharedForWidth != QWidget::width()) ShareAutoSizeWidths();
  int width = 0;
  for (const THeaderSection& section : FSections) width += section.Width;
  return QSize(width, kHeaderHeight);
}

// The width the fixed sections leave is shared equally among the AutoSize
// sections, the first of them taking the remainder.  A section whose share
// falls outside its limits keeps the clamped width and drops out, and the rest
// share again until none drops out.
void TLookHeader::ShareAutoSizeWidths() const {
  FSharedForWidth = width();
  std::vector<size_t> sharing;
  int left = width();
  for (size_t i = 0; i < FSections.size(); ++i) {
    if (FSections[i].AutoSize)
      sharing.push_back(i);
    else
      left -= FSections[i].Width;
  }
  while (!sharing.empty()) {
    const int count = static_cast<int>(sharing.size());
    const int share = left / count;
    const int remainder = left - share * count;
    std::vector<size_t> keep;
    for (size_t n = 0; n < sharing.size(); ++n) {
      THeaderSection& section = FSections[sharing[n]];
      const int wanted = share + (n == 0 ? remainder : 0);
      section.Width = std::clamp(wanted, section.MinWidth, section.MaxWidth);
      if (section.Width != wanted)
        left -= section.Width;
      else
        keep.push_back(sharing[n]);
    }
    if (keep.size() == sharing.size()) break;
    sharing = std::move(keep);
  }
}

void TLookHeader::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ShareAutoSizeWidths();
}

void TLookHeader::paintEvent(QPaintEvent*) {
  if (FSharedForWidth != width()) ShareAutoSizeWidths();
  QPainter painter(this);
  int left = 0;
  for (int index = 0; index < SectionCount(); ++index) {
    const THeaderSection& section = FSections[static_cast<size_t>(index)];
    QStyleOptionHeader option;
    option.initFrom(this);
    option.rect = QRect(left, 0, section.Width, height());
    option.text = section.Text;
    option.section = index;
    option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.orientation = Qt::Horizontal;
    option.position = index == 0                    ? QStyleOptionHeader::Beginning
                      : index == SectionCount() - 1 ? QStyleOptionHeader::End
                                                    : QStyleOptionHeader::Middle;
    style()->drawControl(QStyle::CE_Header, &option, &painter, this);
    left += section.Width;
  }
  if (left < width()) {
    // The area right of the last section is an empty header piece.
    QStyleOptionHeader rest;
    rest.initFrom(this);
    rest.rect = QRect(left, 0, width() - left, height());
    style()->drawControl(QStyle::CE_HeaderEmptyArea, &rest, &painter, this);
  }
}
