// The look package: the real package reads back whole, and every kind of
// damage (cut short, flipped bytes, lying lengths, foreign entries) is refused
// so that the window keeps the platform's look, silently.
#include "ui/LookPackage.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QScopeGuard>
#include <QStyle>
#include <QtTest>

#include "ui/InformationBox.h"
#include "ui/LookOptions.h"
#include "ui/LookStyle.h"

namespace {

TLookBytes RealPackage() {
  QFile file(QStringLiteral(QUORVIN_LOOK_PACKAGE_FILE));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  return TLookBytes(bytes.begin(), bytes.end());
}

bool Reads(const TLookBytes& bytes) {
  return ReadLookPackage(bytes.data(), bytes.size()).has_value();
}

bool Styles(const TLookBytes& bytes) {
  return TLookStyle::FromPackage(bytes.data(), bytes.size()) != nullptr;
}

void PutUInt32(TLookBytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

// Offset of the first entry's stored size (magic, count, name length, name).
size_t FirstSizeOffset(const TLookBytes& bytes) {
  const uint32_t nameLength = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | bytes[11] << 24;
  return 12 + nameLength;
}

}  // namespace

class LookPackageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(!RealPackage().empty(), "the packed look is missing"); }

  void realPackageHoldsTheLook() {
    const TLookBytes bytes = RealPackage();
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 4), QByteArray("QLkP"));
    const auto package = ReadLookPackage(bytes.data(), bytes.size());
    QVERIFY(package.has_value());
    QCOMPARE(package->Entries.size(), size_t(3));
    QCOMPARE(package->Entries[0].Name, std::string("OPTIONS.DAT"));
    QCOMPARE(package->Entries[1].Name, std::string("BUTTONS.BMP"));
    QCOMPARE(package->Entries[2].Name, std::string("MASTER.BMP"));
    QVERIFY(package->Entry("options.dat") != nullptr);  // names match in any case
    QImage preview;
    QVERIFY(preview.loadFromData(package->Preview.data(), int(package->Preview.size()), "PNG"));
    QCOMPARE(preview.size(), QSize(140, 100));
    auto style = TLookStyle::FromPackage(bytes.data(), bytes.size());
    QVERIFY(style);
    QCOMPARE(style->SkinName(), QStringLiteral("Blue Glass (internal)"));
  }

  void writerAndReaderAgree() {
    TLookPackage package;
    package.Entries.push_back({"A", TLookBytes{1, 2, 3}});
    package.Entries.push_back({"EMPTY", TLookBytes{}});
    package.Preview = TLookBytes{9, 8};
    const TLookBytes bytes = WriteLookPackage(package);
    const auto back = ReadLookPackage(bytes.data(), bytes.size());
    QVERIFY(back.has_value());
    QCOMPARE(back->Entries.size(), size_t(2));
    QVERIFY(back->Entries[0].Data == (TLookBytes{1, 2, 3}));
    QVERIFY(back->Entries[1].Data.empty());
    QVERIFY(back->Preview == (TLookBytes{9, 8}));
  }

  void everyTruncationIsRefused() {
    const TLookBytes bytes = RealPackage();
    for (size_t length = 0; length < bytes.size(); ++length) {
      const TLookBytes cut(bytes.begin(), bytes.begin() + long(length));
      QVERIFY2(!Reads(cut) && !Styles(cut), qPrintable(QStringLiteral("cut at %1").arg(length)));
    }
    QVERIFY(!ReadLookPackage(nullptr, 0));
  }

  void corruptedBytesAreRefused() {
    // The image decoder complains about each broken picture; that is expected here.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
    const TLookBytes bytes = RealPackage();
    const size_t firstStream = FirstSizeOffset(bytes) + 4;
    // Flipping any byte of the streams or the framing breaks a check sum, a
    // length or the preview; the style refuses all of them.
    for (size_t at = 0; at < bytes.size(); at += 7) {
      TLookBytes damaged = bytes;
      damaged[at] ^= 0x5A;
      if (at >= firstStream && at < firstStream + 64)
        QVERIFY2(!Reads(damaged), qPrintable(QStringLiteral("flip at %1").arg(at)));
      QVERIFY2(!Styles(damaged), qPrintable(QStringLiteral("flip at %1").arg(at)));
    }
  }

  void lyingLengthsAreRefused() {
    const TLookBytes bytes = RealPackage();
    const size_t sizeAt = FirstSizeOffset(bytes);
    const uint32_t size =
        bytes[sizeAt] | bytes[sizeAt + 1] << 8 | bytes[sizeAt + 2] << 16 | bytes[sizeAt + 3] << 24;
    for (uint32_t wrong : {size - 1, size + 1, kLookMaxEntrySize + 1, 0xFFFFFFFFu}) {
      TLookBytes damaged = bytes;
      PutUInt32(damaged, sizeAt, wrong);
      QVERIFY(!Reads(damaged));
    }
    TLookBytes manyEntries = bytes;
    PutUInt32(manyEntries, 4, 0x7FFFFFFF);
    QVERIFY(!Reads(manyEntries));
    TLookBytes longName = bytes;
    PutUInt32(longName, 8, 0xFFFFFFF0u);
    QVERIFY(!Reads(longName));
    TLookBytes longPreview = bytes;
    PutUInt32(longPreview, bytes.size() - 4 - RealPreviewLength(bytes), 0x7FFFFFFF);
    QVERIFY(!Reads(longPreview));
  }

  void packageWithForeignEntriesGivesNoStyle() {
    TLookPackage package;
    package.Entries.push_back({"OPTIONS.DAT", TLookBytes{'[', 'S', 'K', 'I', 'N', ']'}});
    package.Entries.push_back({"BUTTONS.BMP", TLookBytes{'n', 'o', 't', ' ', 'a', ' ', 'b'}});
    package.Entries.push_back({"MASTER.BMP", TLookBytes{}});
    const auto real = ReadLookPackage(RealPackage().data(), RealPackage().size());
    package.Preview = real->Preview;
    const TLookBytes bytes = WriteLookPackage(package);
    QVERIFY(Reads(bytes));
    QVERIFY(!Styles(bytes));
  }

  void damagedPackageLeavesThePlatformLookSilently() {
    int boxes = 0;
    SetModalBoxHook([&boxes](QDialog& box) {
      ++boxes;
      box.accept();
    });
    QStyle* before = QApplication::style();
    TLookBytes bytes = RealPackage();
    const TLookBytes truncated(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
    QVERIFY(!ApplyLookPackage(truncated.data(), truncated.size()));
    bytes[FirstSizeOffset(bytes) + 10] ^= 0xFF;
    QVERIFY(!ApplyLookPackage(bytes.data(), bytes.size()));
    QVERIFY(!ApplyLookPackage(nullptr, 0));
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::style(), before);
    QCOMPARE(boxes, 0);
    SetModalBoxHook(nullptr);
  }

  void soundPackageBecomesTheStyle() {
    const TLookBytes bytes = RealPackage();
    QVERIFY(ApplyLookPackage(bytes.data(), bytes.size()));
    QVERIFY(qobject_cast<TLookStyle*>(QApplication::style()) != nullptr);
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0xD6, 0xE4, 0xF6));
  }

  void optionsAreReadForgivingly() {
    const TLookOptions options = TLookOptions::Parse(
        "; note\r\n[Panel]\r\n Color = #0A0B0C \r\nbroken line\r\nWidth=12x\r\n"
        "[panel]\nHeight=7\nColor2=#12345\nColor3=#GG0000\n");
    QVERIFY(options.HasSection("PANEL"));
    QCOMPARE(options.Colour("panel", "COLOR").value_or(0), 0x0A0B0Cu);
    QVERIFY(!options.Colour("PANEL", "Color2"));
    QVERIFY(!options.Colour("PANEL", "Color3"));
    QCOMPARE(options.Number("PANEL", "Width", -1), -1);
    QCOMPARE(options.Number("PANEL", "Height", -1), 7);
    QCOMPARE(options.Text("NOPE", "Key", "dflt"), std::string("dflt"));
  }

 private:
  static size_t RealPreviewLength(const TLookBytes& bytes) {
    const auto package = ReadLookPackage(bytes.data(), bytes.size());
    return package ? package->Preview.size() : 0;
  }
};

QTEST_MAIN(LookPackageTest)
#include "LookPackage_test.moc"
