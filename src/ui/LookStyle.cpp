#include "ui/LookStyle.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOption>

#include "ui/LookPackage.h"
#include "ui/LookPanel.h"

namespace {

// Button faces are stacked in BUTTONS.BMP in this order.
enum TButtonFrame { kFrameNormal = 0, kFrameHot, kFrameDown, kFrameDisabled, kFrameCount };

QPixmap DecodeBitmap(const TLookBytes* bytes, const char* format) {
  if (bytes == nullptr || bytes->empty()) return {};
  QImage image;
  if (!image.loadFromData(bytes->data(), static_cast<int>(bytes->size()), format)) return {};
  return QPixmap::fromImage(image);
}

bool SliceFits(const TLookOptions& options, const char* section, const char* topKey,
               const char* heightKey, const QPixmap& master) {
  const int top = options.Number(section, topKey, -1);
  const int height = options.Number(section, heightKey, -1);
  return top >= 0 && height > 0 && top + height <= master.height();
}

// A package is usable only when every part the style paints from is there.
bool LookIsComplete(const TLookOptions& options, const QPixmap& buttons, const QPixmap& master) {
  if (!options.HasSection("SKIN") || buttons.isNull() || master.isNull()) return false;
  const int frameWidth = options.Number("BUTTON", "FrameWidth", 0);
  const int frameHeight = options.Number("BUTTON", "FrameHeight", 0);
  const int margin = options.Number("BUTTON", "Margin", -1);
  if (frameWidth <= 0 || frameHeight <= 0 || margin < 0 || 2 * margin >= frameWidth ||
      2 * margin >= frameHeight)
    return false;
  if (buttons.width() < frameWidth || buttons.height() < frameHeight * kFrameCount) return false;
  return SliceFits(options, "PANEL", "TitleTop", "TitleHeight", master) &&
         SliceFits(options, "CHECKBOX", "Top", "Height", master) &&
         SliceFits(options, "GAUGE", "Top", "Height", master);
}

}  // namespace

std::unique_ptr<TLookStyle> TLookStyle::FromPackage(const uint8_t* data, size_t size) {
  const std::optional<TLookPackage> package = ReadLookPackage(data, size);
  if (!package) return nullptr;
  const TLookBytes* optionsText = package->Entry("OPTIONS.DAT");
  if (optionsText == nullptr) return nullptr;
  TLookOptions options = TLookOptions::Parse(std::string(optionsText->begin(), optionsText->end()));
  QPixmap buttons = DecodeBitmap(package->Entry("BUTTONS.BMP"), "BMP");
  QPixmap master = DecodeBitmap(package->Entry("MASTER.BMP"), "BMP");
  if (DecodeBitmap(&package->Preview, "PNG").isNull()) return nullptr;
  if (!LookIsComplete(options, buttons, master)) return nullptr;
  return std::unique_ptr<TLookStyle>(
      new TLookStyle(std::move(options), std::move(buttons), std::move(master)));
}

TLookStyle::TLookStyle(TLookOptions options, QPixmap buttons, QPixmap master)
    : QProxyStyle(QStyleFactory::create("Fusion")),
      FOptions(std::move(options)),
      FButtons(std::move(buttons)),
      FMaster(std::move(master)) {}

QString TLookStyle::SkinName() const {
  return QString::fromStdString(FOptions.Text("SKIN", "Name"));
}

QColor TLookStyle::Colour(const char* section, const char* key, QColor fallback) const {
  const std::optional<uint32_t> rgb = FOptions.Colour(section, key);
  return rgb ? QColor::fromRgb(*rgb) : fallback;
}

QPixmap TLookStyle::MasterSlice(const char* section) const {
  const bool title = qstrcmp(section, "PANEL") == 0;
  const int top = FOptions.Number(section, title ? "TitleTop" : "Top", 0);
  const int height = FOptions.Number(section, title ? "TitleHeight" : "Height", 1);
  return FMaster.copy(0, top, FMaster.width(), height);
}

QPalette TLookStyle::standardPalette() const {
  const QColor window = Colour("WINDOW", "Color", QColor(214, 228, 246));
  const QColor text = Colour("WINDOW", "FontColor", Qt::black);
  QPalette palette(text, window, Colour("PANEL", "BevelLight", Qt::white),
                   Colour("PANEL", "BevelDark", Qt::darkBlue), window.darker(115), text,
                   Colour("EDIT", "FontColor", Qt::black), Colour("EDIT", "Color", Qt::white),
                   window);
  palette.setColor(QPalette::Button, Colour("PANEL", "Color", window));
  palette.setColor(QPalette::ButtonText, Colour("BUTTON", "FontColor", text));
  palette.setColor(QPalette::Highlight, Colour("EDIT", "HighlightColor", Qt::darkBlue));
  palette.setColor(QPalette::HighlightedText, Colour("EDIT", "HighlightFontColor", Qt::white));
  const QColor disabled = Colour("BUTTON", "DisabledFontColor", Qt::gray);
  for (QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
    palette.setColor(QPalette::Disabled, role, disabled);
  return palette;
}

void TLookStyle::polish(QPalette& palette) { palette = standardPalette(); }

void TLookStyle::polish(QWidget* widget) {
  QProxyStyle::polish(widget);
  QPalette palette = widget->palette();
  if (qobject_cast<TLookPanel*>(widget)) {
    palette.setColor(QPalette::Window, Colour("PANEL", "Color", palette.color(QPalette::Window)));
  } else if (qobject_cast<QStatusBar*>(widget)) {
    widget->setAutoFillBackground(true);
    palette.setColor(QPalette::Window,
                     Colour("STATUSBAR", "Color", palette.color(QPalette::Window)));
  } else if (qobject_cast<QLabel*>(widget) && !widget->inherits("TShadowLabel")) {
    const bool onStatusBar = qobject_cast<QStatusBar*>(widget->parentWidget()) != nullptr;
    palette.setColor(QPalette::WindowText, onStatusBar ? Colour("STATUSBAR", "FontColor", Qt::black)
                                                       : Colour("LABEL", "FontColor", Qt::black));
  } else {
    return;
  }
  widget->setPalette(palette);
}

void TLookStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
  switch (element) {
    case PE_Widget:
      if (widget && widget->property("lookPart").toString() == QLatin1String("title"))
        painter->drawPixmap(option->rect, MasterSlice("PANEL"));
      return;
    case PE_PanelButtonTool:
    case PE_PanelButtonCommand:
      DrawButtonFace(option, painter);
      return;
    case PE_IndicatorCheckBox:
      DrawCheckBox(option, painter);
      return;
    case PE_PanelStatusBar:
      painter->fillRect(option->rect,
                        Colour("STATUSBAR", "Color", option->palette.window().color()));
      painter->setPen(Colour("STATUSBAR", "LineColor", Qt::gray));
      painter->drawLine(option->rect.topLeft(), option->rect.topRight());
      return;
    case PE_FrameStatusBarItem:
      return;
    default:
      QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
}

void TLookStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
  switch (element) {
    case CE_HeaderSection:
    case CE_HeaderEmptyArea:
      DrawHeaderSection(option, painter);
      return;
    case CE_HeaderLabel:
      // The header is disabled for the whole run; its captions stay readable.
      if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
        QStyleOptionHeader readable = *header;
        readable.state |= State_Enabled;
        readable.palette.setColor(QPalette::ButtonText, Colour("CHECKBOX", "FontColor", Qt::black));
        QProxyStyle::drawControl(element, &readable, painter, widget);
        return;
      }
      break;
    case CE_ProgressBarGroove:
      painter->fillRect(option->rect, Colour("GAUGE", "Color", Qt::white));
      painter->setPen(Colour("GAUGE", "BorderColor", Qt::darkBlue));
      painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
      return;
    case CE_ProgressBarContents:
      DrawGauge(option, painter);
      return;
    default:
      break;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

int TLookStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                            const QWidget* widget) const {
  if ((metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) && widget &&
      widget->inherits("TCheckListBox"))
    return FOptions.Number("CHECKBOX", "CheckWidth", 12);
  return QProxyStyle::pixelMetric(metric, option, widget);
}

void TLookStyle::DrawButtonFace(const QStyleOption* option, QPainter* painter) const {
  int frame = kFrameNormal;
  if (!(option->state & State_Enabled))
    frame = kFrameDisabled;
  else if (option->state & (State_Sunken | State_On))
    frame = kFrameDown;
  else if (option->state & State_MouseOver)
    frame = kFrameHot;
  const int width = FOptions.Number("BUTTON", "FrameWidth", FButtons.width());
  const int height = FOptions.Number("BUTTON", "FrameHeight", FButtons.height() / kFrameCount);
  const int margin = FOptions.Number("BUTTON", "Margin", 0);
  const QMargins margins(margin, margin, margin, margin);
  qDrawBorderPixmap(painter, option->rect, margins, FButtons,
                    QRect(0, frame * height, width, height), margins);
}

// A square box in the list's border colour; a tick for checked, a bar for
// grayed; washed out when disabled.
void TLookStyle::DrawCheckBox(const QStyleOption* option, QPainter* painter) const {
  const bool enabled = option->state & State_Enabled;
  const QColor border = Colour("EDIT", "BorderColor", Qt::darkBlue);
  const QColor mark = Colour("LABEL", "FontColor", Qt::black);
  const QColor faded = Colour("BUTTON", "DisabledFontColor", Qt::gray);
  const QRect box = option->rect.adjusted(0, 0, -1, -1);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setBrush(Qt::NoBrush);
  painter->fillRect(box, enabled ? QColor(Qt::white) : faded.lighter(160));
  painter->setPen(enabled ? border : faded);
  painter->drawRect(box);
  painter->setPen(QPen(enabled ? mark : faded, 2));
  const QRectF in = QRectF(box).adjusted(2.5, 2.5, -2.5, -2.5);
  if (option->state & State_On) {
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QPointF tick[] = {{in.left(), in.center().y()},
                            {in.left() + in.width() * 0.4, in.bottom()},
                            {in.right(), in.top()}};
    painter->drawPolyline(tick, 3);
  } else if (option->state & State_NoChange) {
    painter->drawLine(QPointF(in.left(), in.center().y()), QPointF(in.right(), in.center().y()));
  }
  painter->restore();
}

void TLookStyle::DrawHeaderSection(const QStyleOption* option, QPainter* painter) const {
  painter->drawPixmap(option->rect, MasterSlice("CHECKBOX"));
  painter->setPen(Colour("CHECKBOX", "LineColor", Qt::gray));
  const QRect r = option->rect;
  painter->drawLine(r.bottomLeft(), r.bottomRight());
  painter->drawLine(r.topRight(), r.bottomRight());
}

void TLookStyle::DrawGauge(const QStyleOption* option, QPainter* painter) const {
  const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option);
  if (bar == nullptr) return;
  const qint64 span = qint64(bar->maximum) - bar->minimum;
  if (span <= 0 || bar->progress <= bar->minimum) return;
  const QRect inner = option->rect.adjusted(1, 1, -1, -1);
  const qint64 done = qint64(bar->progress) - bar->minimum;
  const int filled = static_cast<int>(inner.width() * qMin<qint64>(done, span) / span);
  painter->drawPixmap(QRect(inner.left(), inner.top(), filled, inner.height()),
                      MasterSlice("GAUGE"));
}

bool ApplyLookPackage(const uint8_t* data, size_t size) {
  std::unique_ptr<TLookStyle> style = TLookStyle::FromPackage(data, size);
  if (!style) return false;
  const QPalette palette = style->standardPalette();
  QApplication::setStyle(style.release());  // the application owns it from here
  QApplication::setPalette(palette);
  return true;
}
