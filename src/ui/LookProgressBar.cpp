#include "ui/LookProgressBar.h"

#include <algorithm>
#include <limits>
#include <string>

TLookProgressBar::TLookProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  setFocusPolicy(Qt::NoFocus);
  ShowPosition();
}

void TLookProgressBar::SetMax(int64_t maximum) {
  if (maximum < 0)
    throw EInvalidOperation("Progress bar maximum out of range (" + std::to_string(maximum) + ")");
  FMax = maximum;
  ShowPosition();
}

void TLookProgressBar::SetPosition(int64_t position) {
  FPosition = position;
  ShowPosition();
}

// The widget counts in int: a maximum beyond its range is divided down (and
// the position with it) until it fits.  Qt ignores values outside the range
// and animates an empty range, so the widget always gets a non-empty range
// and a value clamped into it.
void TLookProgressBar::ShowPosition() {
  constexpr int64_t kWidgetMax = std::numeric_limits<int>::max();
  const int64_t divisor = FMax / kWidgetMax + 1;
  const int64_t shownMax = std::max<int64_t>(FMax / divisor, 1);
  const int64_t shown = FMax == 0 ? 0 : std::clamp<int64_t>(FPosition, 0, FMax) / divisor;
  setRange(0, static_cast<int>(shownMax));
  setValue(static_cast<int>(shown));
}
