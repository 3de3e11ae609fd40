#pragma once
// The transfer gauge: a smooth bar from 0 to a maximum, without text.
// Maximum and position are byte counts of any size, as the transfer events
// deliver them; the bar scales them to the range its widget can show, so a
// 5 GiB file fills it as evenly as a 5 KiB one.  A position outside
// 0..maximum is shown as the nearest end of the bar and remembered as given.
// A negative maximum is refused.
#include <QProgressBar>
#include <cstdint>

#include "util/Errors.h"

// Raised for a property value the control cannot take.
QUORVIN_DECLARE_ERROR(EInvalidOperation, Exception);

class TLookProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit TLookProgressBar(QWidget* parent);

  int64_t Max() const { return FMax; }
  // Raises EInvalidOperation for a negative maximum and keeps the old one.
  void SetMax(int64_t maximum);

  int64_t Position() const { return FPosition; }
  void SetPosition(int64_t position);

 private:
  void ShowPosition();

  int64_t FMax = 100;
  int64_t FPosition = 0;
};
