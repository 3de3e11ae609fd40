#include "ui/LookProgressBar.h"

#include <algorithm>
#include <string>

TLookProgressBar::TLookProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  setFocusPolicy(Qt::NoFocus);
  ShowPosition();
}

void TLookProgressBar::SetMax(int32_t maximum) {
  if (maximum < 0)
    throw EInvalidOperation("Progress bar maximum out of range (" + std::to_string(maximum) + ")");
  FMax = maximum;
  ShowPosition();
}

void TLookProgressBar::SetPosition(int32_t position) {
  FPosition = position;
  ShowPosition();
}

// Qt ignores values outside the range and animates an empty range, so the
// widget always gets a non-empty range and a value clamped into it.
void TLookProgressBar::ShowPosition() {
  const int32_t shownMax = std::max<int32_t>(FMax, 1);
  const int32_t shown = FMax == 0 ? 0 : std::clamp<int32_t>(FPosition, 0, FMax);
  setRange(0, shownMax);
  setValue(shown);
}
