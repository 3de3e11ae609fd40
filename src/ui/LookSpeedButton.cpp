#include "ui/LookSpeedButton.h"

TLookSpeedButton::TLookSpeedButton(QWidget* parent, const QString& caption) : QToolButton(parent) {
  setText(caption);
  setFocusPolicy(Qt::NoFocus);
  setToolButtonStyle(Qt::ToolButtonTextOnly);
  setAutoRaise(false);
}
