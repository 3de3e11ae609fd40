#pragma once
// A speed button: worked with the mouse only, it never takes the keyboard
// focus, so Enter and Escape in the window press nothing.  Its caption is
// also the name assistive technology announces.
#include <QToolButton>

class TLookSpeedButton : public QToolButton {
  Q_OBJECT

 public:
  TLookSpeedButton(QWidget* parent, const QString& caption);
};
