#pragma once
// A label whose text carries a shadow: the text is drawn once in the shadow
// colour, moved by the offset, and then in the label's own colour on top.
// The look leaves it alone, so its colours are always its own.
#include <QColor>
#include <QLabel>
#include <QPoint>

class TShadowLabel : public QLabel {
  Q_OBJECT

 public:
  TShadowLabel(QWidget* parent, const QString& caption);

  QColor ShadowColour() const { return FShadowColour; }
  void SetShadowColour(const QColor& colour) { FShadowColour = colour; }
  // Negative values move the shadow up and to the left.
  QPoint ShadowOffset() const { return FShadowOffset; }
  void SetShadowOffset(const QPoint& offset) { FShadowOffset = offset; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FShadowColour = Qt::white;
  QPoint FShadowOffset{-1, -1};
};
