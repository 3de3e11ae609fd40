// The column header: the window's six sections, the AutoSize sharing rule and
// a header that takes no input.
#include "ui/LookHeader.h"

#include <QtTest>

#include "util/Errors.h"

namespace {

void AddWindowSections(TLookHeader& header) {
  header.AddSection("File", 393, true);
  header.AddSection("Current", 70);
  header.AddSection("Available", 70);
  header.AddSection("Duplicate", 70);
  header.AddSection("In Use", 70);
  header.AddSection("", 16);
}

}  // namespace

class LookHeaderTest : public QObject {
  Q_OBJECT

 private slots:
  void windowSectionsGiveTheFileColumn393() {
    TLookHeader header;
    AddWindowSections(header);
    header.resize(689, 24);
    QCOMPARE(header.SectionCount(), 6);
    QCOMPARE(header.Section(0).Width, 393);
    const int edges[] = {0, 393, 463, 533, 603, 673};
    for (int i = 0; i < 6; ++i) QCOMPARE(header.SectionLeft(i), edges[i]);
    QCOMPARE(header.SectionLeft(5) + header.Section(5).Width, 689);
    QCOMPARE(header.sizeHint().width(), 689);
    QCOMPARE(header.Section(1).Text, QString("Current"));
  }

  void resizingSharesTheRestAgain() {
    TLookHeader header;
    AddWindowSections(header);
    header.resize(700, 24);
    QCOMPARE(header.Section(0).Width, 404);
    header.resize(100, 24);  // nothing left: the share is clamped at MinWidth 0
    QCOMPARE(header.Section(0).Width, 0);
  }

  void firstAutoSizeSectionTakesTheRemainder() {
    TLookHeader header;
    header.AddSection("a", 10, true);
    header.AddSection("b", 10);
    header.AddSection("c", 10, true);
    header.resize(111, 24);  // 101 shared by two: 51 and 50
    QCOMPARE(header.Section(0).Width, 51);
    QCOMPARE(header.Section(2).Width, 50);
  }

  void clampedSectionDropsOutAndTheRestShareAgain() {
    TLookHeader header;
    header.AddSection("a", 0, true);
    header.AddSection("b", 0, true);
    header.AddSection("c", 0, true);
    header.SetSectionLimits(0, 0, 20);
    header.SetSectionLimits(2, 150, 10000);
    header.resize(300, 24);  // 100 each; a capped at 20, c raised to 150, b takes 130
    QCOMPARE(header.Section(0).Width, 20);
    QCOMPARE(header.Section(2).Width, 150);
    QCOMPARE(header.Section(1).Width, 130);
  }

  void headerTakesNoInput() {
    TLookHeader header;
    AddWindowSections(header);
    QVERIFY(!header.isEnabled());
    QVERIFY(header.testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(header.focusPolicy(), Qt::NoFocus);
  }

  void sectionOutsideRaisesTheListIndexError() {
    TLookHeader header;
    AddWindowSections(header);
    QVERIFY_THROWS_EXCEPTION(EStringListError, header.Section(6));
    QVERIFY_THROWS_EXCEPTION(EStringListError, header.SectionLeft(-1));
  }
};

QTEST_MAIN(LookHeaderTest)
#include "LookHeader_test.moc"
