#include "ui/UpdateListPainter.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QString>

#include "engine/UpdateRecord.h"

namespace {

const QColor kBackground(255, 255, 255);
const QColor kNormalText(0, 0, 0);
const QColor kMarkedText(255, 0, 0);
const char* const kMarkText = "YES";

// Texts start this far right of their column's left edge; the marks sit
// further in, roughly under the middle of their narrow columns.
constexpr int kTextIndent = 5;
constexpr int kMarkIndent = 15;

// Draws `text` with its top at `top`, unclipped: a long text runs on over
// the next column, and whatever is drawn later covers it.
void DrawTextAt(QPainter& painter, int x, int top, const std::string& text) {
  const QRect box(x, top, 10000, painter.fontMetrics().height());
  painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                   QString::fromStdString(text));
}

// The installed version as shown: a leading "*" marks a row that is never
// downloaded; the mark is not shown, and the text turns red from here on.
std::string CurrentColumnText(QPainter& painter, const std::string& installed) {
  if (installed.empty() || installed[0] != kNeverDownloadMark) return installed;
  painter.setPen(kMarkedText);
  std::string shown = " " + installed.substr(1);
  const auto blank = [](unsigned char c) { return c <= 32; };
  while (!shown.empty() && blank(static_cast<unsigned char>(shown.front()))) shown.erase(0, 1);
  while (!shown.empty() && blank(static_cast<unsigned char>(shown.back()))) shown.pop_back();
  return shown;
}

// Restores the painter's state however the drawing ends, also when a
// missing field ends it with an error.
class TPainterStateGuard {
 public:
  explicit TPainterStateGuard(QPainter& painter) : FPainter(painter) { FPainter.save(); }
  ~TPainterStateGuard() { FPainter.restore(); }
  TPainterStateGuard(const TPainterStateGuard&) = delete;
  TPainterStateGuard& operator=(const TPainterStateGuard&) = delete;

 private:
  QPainter& FPainter;
};

void DrawFocusOutline(QPainter& painter, const QRect& itemRect) {
  QPen dotted(kNormalText);
  dotted.setStyle(Qt::DotLine);
  painter.setPen(dotted);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(itemRect.adjusted(0, 0, -1, -1));
}

}  // namespace

void PaintUpdateRow(QPainter& painter, const QRect& itemRect, const TStringList& fields,
                    const THeaderWidths& widths, bool focused) {
  TPainterStateGuard guard(painter);
  QFont font("Arial");
  font.setPointSize(10);
  painter.setFont(font);
  painter.setPen(kNormalText);
  painter.fillRect(itemRect, kBackground);
  // Texts are drawn opaque, on the same white as the fill.
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(kBackground);

  font.setBold(true);
  painter.setFont(font);
  const bool duplicate = FlagIsSet(fields[kDuplicateFlag]);
  const bool inUse = FlagIsSet(fields[kInUseFlag]);
  painter.setPen(duplicate || inUse ? kMarkedText : kNormalText);

  const int top = itemRect.top();
  const int current = widths[0];
  const int available = current + widths[1];
  const int duplicateColumn = available + widths[2];
  const int inUseColumn = duplicateColumn + widths[3];
  DrawTextAt(painter, itemRect.left() + kTextIndent, top, fields[kComponentFile]);
  DrawTextAt(painter, available + kTextIndent, top, fields[kAvailableVersion]);
  DrawTextAt(painter, current + kTextIndent, top,
             CurrentColumnText(painter, fields[kInstalledVersion]));
  if (duplicate) DrawTextAt(painter, duplicateColumn + kMarkIndent, top, kMarkText);
  if (inUse) DrawTextAt(painter, inUseColumn + kMarkIndent, top, kMarkText);

  painter.setBackgroundMode(Qt::TransparentMode);
  if (focused) DrawFocusOutline(painter, itemRect);
}
