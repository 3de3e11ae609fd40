// Drawing of update list rows: colours, column positions, the asterisk rule
// and the focus outline, checked on an offscreen image.
#include "ui/UpdateListPainter.h"

#include <QImage>
#include <QPainter>
#include <QtTest>
#include <algorithm>

#include "util/QuorvinSI.h"

namespace {

// The header widths of the window's layout, and a row rectangle that starts
// right of an 18 pixel check box.
const THeaderWidths kWidths{393, 70, 70, 70, 70, 16};
const QRect kItemRect(18, 2, 760, 18);

enum class Ink { None, Black, Red, Other };

Ink InkOf(QRgb pixel) {
  const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
  if (r > 235 && g > 235 && b > 235) return Ink::None;
  if (r < 110 && g < 110 && b < 110) return Ink::Black;
  if (r > 150 && g < 110 && b < 110) return Ink::Red;
  return Ink::Other;  // anti-aliased edges
}

// A row drawn on a grey image, so the white fill shows too.
QImage Draw(const std::string& record, bool focused = false) {
  QImage image(800, 24, QImage::Format_RGB32);
  image.fill(QColor(128, 128, 128));
  TQuorvinSI si;
  si.SetDelimiter(',');
  si.SetSourceString(record);
  QPainter painter(&image);
  PaintUpdateRow(painter, kItemRect, si.FieldList(), kWidths, focused);
  return image;
}

// The first column from `from` on (below `to`) that holds ink, or -1.
int FirstInkColumn(const QImage& image, int from, int to) {
  for (int x = from; x < to; ++x) {
    for (int y = kItemRect.top() + 1; y < kItemRect.bottom(); ++y) {
      if (InkOf(image.pixel(x, y)) != Ink::None) return x;
    }
  }
  return -1;
}

// Counts of clearly black and clearly red pixels between two columns.
struct InkCount {
  int black = 0, red = 0;
};
InkCount CountInk(const QImage& image, int from, int to) {
  InkCount count;
  for (int x = from; x < to; ++x) {
    for (int y = kItemRect.top() + 1; y < kItemRect.bottom(); ++y) {
      const Ink ink = InkOf(image.pixel(x, y));
      if (ink == Ink::Black) ++count.black;
      if (ink == Ink::Red) ++count.red;
    }
  }
  return count;
}

// Column spans of the five texts: File, Current, Available, and the marks.
constexpr int kFile = 23, kCurrent = 398, kAvailable = 468, kDuplicate = 548, kInUse = 618;

}  // namespace

class UpdateListPainterTest : public QObject {
  Q_OBJECT

 private slots:
  void TextsStartAtTheirColumns() {
    const QImage image = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,Y,Y,2|5");
    // Glyphs may begin a pixel or two right of their origin, never left of it.
    for (int column : {kFile, kCurrent, kAvailable, kDuplicate, kInUse}) {
      const int first = FirstInkColumn(image, std::max(column - 20, kItemRect.left()), column + 20);
      QVERIFY2(first >= column && first <= column + 3,
               qPrintable(QString("text expected at %1, ink from %2").arg(column).arg(first)));
    }
  }

  void PlainRowIsBlackWithoutMarks() {
    const QImage image = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N,N,0");
    for (int column : {kFile, kCurrent, kAvailable}) {
      const InkCount ink = CountInk(image, column, column + 60);
      QVERIFY(ink.black > 20);
      QCOMPARE(ink.red, 0);
    }
    QCOMPARE(FirstInkColumn(image, kDuplicate - 10, kItemRect.right() + 1), -1);
  }

  void DuplicateRowIsRedWithOneMark() {
    const QImage image = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,Y,N,2|5");
    for (int column : {kFile, kCurrent, kAvailable, kDuplicate}) {
      const InkCount ink = CountInk(image, column, column + 60);
      QVERIFY(ink.red > 20);
      QCOMPARE(ink.black, 0);
    }
    QCOMPARE(FirstInkColumn(image, kInUse - 10, kItemRect.right() + 1), -1);
  }

  void InUseRowIsRedWithTheOtherMark() {
    const QImage image = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N,Y,0");
    QVERIFY(CountInk(image, kFile, kFile + 60).red > 20);
    QCOMPARE(FirstInkColumn(image, kDuplicate - 10, kInUse - 10), -1);
    QVERIFY(CountInk(image, kInUse, kInUse + 40).red > 20);
  }

  void AsteriskTurnsOnlyTheCurrentColumnRed() {
    const QImage marked = Draw("M,K,P.exe,Lib.dll,*1.0.001,1.0.002,N,N,0");
    QCOMPARE(CountInk(marked, kFile, kFile + 60).red, 0);
    QCOMPARE(CountInk(marked, kAvailable, kAvailable + 60).red, 0);
    QVERIFY(CountInk(marked, kCurrent, kCurrent + 60).red > 20);
    // The mark itself is not drawn: the text starts where an unmarked one does.
    const QImage plain = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N,N,0");
    QCOMPARE(FirstInkColumn(marked, kCurrent - 5, kCurrent + 30),
             FirstInkColumn(plain, kCurrent - 5, kCurrent + 30));
  }

  void AsteriskAlsoTurnsLaterMarksRed() {
    const QImage image = Draw("M,K,P.exe,Lib.dll,*1.0.001,1.0.002,N,N,0");
    QCOMPARE(FirstInkColumn(image, kDuplicate - 10, kItemRect.right() + 1),
             -1);  // no flags, no marks
  }

  void BackgroundIsWhiteOverTheWholeItem() {
    const QImage image = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N,N,0");
    QCOMPARE(image.pixel(kItemRect.right(), kItemRect.bottom()), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(kItemRect.left(), kItemRect.top()), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(kItemRect.left() - 1, kItemRect.top()), qRgb(128, 128, 128));
  }

  void OnlyTheFocusedRowIsOutlined() {
    const QImage plain = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N,N,0");
    const QImage focused = Draw("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N,N,0", true);
    int outlineInPlain = 0, outlineInFocused = 0;
    for (int x = kItemRect.left(); x <= kItemRect.right(); ++x) {
      outlineInPlain += InkOf(plain.pixel(x, kItemRect.bottom())) == Ink::Black;
      outlineInFocused += InkOf(focused.pixel(x, kItemRect.bottom())) == Ink::Black;
    }
    QCOMPARE(outlineInPlain, 0);
    // Dotted: roughly every other pixel along the bottom edge.
    QVERIFY(outlineInFocused > kItemRect.width() / 4);
    QVERIFY(outlineInFocused < kItemRect.width());
  }

  void SaveSampleWhenAsked() {
    // QUORVIN_SAVE_ROW=file.png keeps a picture of a marked, focused row.
    const QByteArray target = qgetenv("QUORVIN_SAVE_ROW");
    if (target.isEmpty()) return;
    Draw("M,K,P.exe,Tools\\Report.dll,*1.0.001,1.0.002,Y,N,2|5", true).save(QString(target));
  }

  void ShortRecordRaisesTheIndexError() {
    QImage image(800, 24, QImage::Format_RGB32);
    TQuorvinSI si;
    si.SetDelimiter(',');
    si.SetSourceString("M,K,P.exe,Lib.dll,1.0.001,1.0.002,N");
    QPainter painter(&image);
    QVERIFY_THROWS_EXCEPTION(EStringListError,
                             PaintUpdateRow(painter, kItemRect, si.FieldList(), kWidths, false));
    QCOMPARE(painter.font().bold(), false);  // the painter's state was given back
  }
};

QTEST_MAIN(UpdateListPainterTest)
#include "UpdateListPainter_test.moc"
