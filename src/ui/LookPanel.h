#pragma once
// A panel: a plain area with an optional one-pixel raised bevel and an
// optional caption drawn centred both ways.  The status line of the main
// window is such a caption, so the panel also tells assistive technology
// what its caption says: the accessible name follows the caption.
#include <QAccessible>
#include <QFrame>
#include <QString>

class TLookPanel : public QFrame {
  Q_OBJECT
  // "title" asks the look for its title backdrop instead of the plain colour.
  Q_PROPERTY(QString lookPart READ LookPart WRITE SetLookPart)

 public:
  enum class TBevel { None, Raised };

  explicit TLookPanel(QWidget* parent, TBevel bevel = TBevel::None);

  QString Caption() const { return FCaption; }
  void SetCaption(const QString& caption);

  QString LookPart() const { return FLookPart; }
  void SetLookPart(const QString& part) { FLookPart = part; }

  // The role announced to assistive technology (a pane unless told otherwise).
  QAccessible::Role AccessibleRole() const { return FRole; }
  void SetAccessibleRole(QAccessible::Role role) { FRole = role; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString FCaption;
  QString FLookPart;
  TBevel FBevel;
  QAccessible::Role FRole = QAccessible::Pane;
};
