#include "app/ShadowLabel.h"

#include <QPainter>

TShadowLabel::TShadowLabel(QWidget* parent, const QString& caption) : QLabel(caption, parent) {
  setAlignment(Qt::AlignCenter);
}

void TShadowLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
  painter.setPen(FShadowColour);
  painter.drawText(rect().translated(FShadowOffset), flags, text());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(rect(), flags, text());
}
