#include "ui/LookPanel.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyleOption>

namespace {

// Reports a panel with the role its owner gave it; name and description come
// from the widget's accessible name and description as usual.
class TLookPanelAccessible : public QAccessibleWidget {
 public:
  explicit TLookPanelAccessible(TLookPanel* panel)
      : QAccessibleWidget(panel, panel->AccessibleRole()) {}
};

QAccessibleInterface* LookPanelFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("TLookPanel") && object && object->isWidgetType())
    return new TLookPanelAccessible(static_cast<TLookPanel*>(object));
  return nullptr;
}

void InstallAccessibilityOnce() {
  static const bool installed = (QAccessible::installFactory(LookPanelFactory), true);
  (void)installed;
}

}  // namespace

TLookPanel::TLookPanel(QWidget* parent, TBevel bevel) : QFrame(parent), FBevel(bevel) {
  InstallAccessibilityOnce();
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);
}

void TLookPanel::SetCaption(const QString& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  // Setting the accessible name also announces the change (NameChanged).
  setAccessibleName(caption);
  update();
}

void TLookPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The look may paint a backdrop of its own over the plain colour.
  QStyleOption option;
  option.initFrom(this);
  style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
  if (FBevel == TBevel::Raised) {
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
  }
  if (!FCaption.isEmpty()) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, FCaption);
  }
}
