// The look as it reaches the screen: buttons wear the face of their state
// from BUTTONS.BMP, the gauge fills in proportion, and the header keeps its
// captions readable although it is disabled.
#include "ui/LookStyle.h"

#include <QFile>
#include <QImage>
#include <QProgressBar>
#include <QtTest>

#include "ui/LookPackage.h"
#include "ui/LookSpeedButton.h"

namespace {

TLookBytes RealPackage() {
  QFile file(QStringLiteral(QUORVIN_LOOK_PACKAGE_FILE));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  return TLookBytes(bytes.begin(), bytes.end());
}

QImage ButtonFaces() {
  const TLookBytes bytes = RealPackage();
  const auto package = ReadLookPackage(bytes.data(), bytes.size());
  const TLookBytes* faces = package ? package->Entry("BUTTONS.BMP") : nullptr;
  QImage image;
  if (faces) image.loadFromData(faces->data(), int(faces->size()), "BMP");
  return image.convertToFormat(QImage::Format_RGB32);
}

QImage Render(QWidget& widget) {
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  widget.render(&image);
  return image;
}

}  // namespace

class LookStyleTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    const TLookBytes bytes = RealPackage();
    FStyle = TLookStyle::FromPackage(bytes.data(), bytes.size());
    QVERIFY(FStyle);
    FFaces = ButtonFaces();
    QCOMPARE(FFaces.size(), QSize(100, 4 * 38));
  }

  void buttonWearsTheFaceOfItsState() {
    TLookSpeedButton button(nullptr, QString());  // no caption: only the face shows
    button.setStyle(FStyle.get());
    button.resize(100, 38);
    const QPoint probe(50, 8);
    QCOMPARE(Render(button).pixelColor(probe), FFaces.pixelColor(probe));  // normal
    button.setDown(true);
    QCOMPARE(Render(button).pixelColor(probe), FFaces.pixelColor(probe + QPoint(0, 2 * 38)));
    button.setDown(false);
    button.setEnabled(false);
    QCOMPARE(Render(button).pixelColor(probe), FFaces.pixelColor(probe + QPoint(0, 3 * 38)));
  }

  void gaugeFillsInProportion() {
    QProgressBar bar;
    bar.setStyle(FStyle.get());
    bar.setTextVisible(false);
    bar.resize(202, 21);
    bar.setRange(0, 100);
    bar.setValue(25);
    const QImage image = Render(bar);
    const QColor empty = image.pixelColor(190, 10);
    QVERIFY(image.pixelColor(20, 10) != empty);  // inside the first quarter: filled
    QCOMPARE(image.pixelColor(100, 10), empty);  // past it: the groove
  }

 private:
  std::unique_ptr<TLookStyle> FStyle;
  QImage FFaces;
};

QTEST_MAIN(LookStyleTest)
#include "LookStyle_test.moc"
