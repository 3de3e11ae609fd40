#pragma once
// The style that paints the window in the look stored in a look package.
//
// The package's OPTIONS.DAT gives the colours of each part of the window
// (sections PANEL, BUTTON, CHECKBOX for the header, EDIT for the list,
// GAUGE, STATUSBAR, LABEL); BUTTONS.BMP holds the button faces, one frame
// per state, and MASTER.BMP the backdrops of the title, the header and the
// gauge bar.  Everything the look does not cover is left to the base style.
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "ui/LookOptions.h"

class TLookStyle : public QProxyStyle {
  Q_OBJECT

 public:
  // The style for a package, or null when the package is damaged, missing
  // or incomplete (then the platform's look stays).
  static std::unique_ptr<TLookStyle> FromPackage(const uint8_t* data, size_t size);

  QString SkinName() const;
  QPalette standardPalette() const override;
  void polish(QPalette& palette) override;
  void polish(QWidget* widget) override;
  using QProxyStyle::polish;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;

 private:
  TLookStyle(TLookOptions options, QPixmap buttons, QPixmap master);

  QColor Colour(const char* section, const char* key, QColor fallback) const;
  QPixmap MasterSlice(const char* section) const;
  void DrawButtonFace(const QStyleOption* option, QPainter* painter) const;
  void DrawCheckBox(const QStyleOption* option, QPainter* painter) const;
  void DrawHeaderSection(const QStyleOption* option, QPainter* painter) const;
  void DrawGauge(const QStyleOption* option, QPainter* painter) const;

  TLookOptions FOptions;
  QPixmap FButtons;
  QPixmap FMaster;
};

// Reads the package and, when it is sound, makes its look the application's
// style.  Returns false, changing nothing and saying nothing, otherwise.
bool ApplyLookPackage(const uint8_t* data, size_t size);
