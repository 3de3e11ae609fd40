#pragma once
// The transfer gauge: a smooth bar from 0 to a maximum, without text.
// Maximum and position are signed 32-bit numbers as the transfer events
// deliver them; a position outside 0..maximum is shown as the nearest end
// of the bar and remembered as given.  A negative maximum is refused.
#include <QProgressBar>
#include <cstdint>

#include "util/Errors.h"

// Raised for a property value the control cannot take.
QUORVIN_DECLARE_ERROR(EInvalidOperation, Exception);

class TLookProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit TLookProgressBar(QWidget* parent);

  int32_t Max() const { return FMax; }
  // Raises EInvalidOperation for a negative maximum and keeps the old one.
  void SetMax(int32_t maximum);

  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t position);

 private:
  void ShowPosition();

  int32_t FMax = 100;
  int32_t FPosition = 0;
};
