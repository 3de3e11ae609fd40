#pragma once
// The column header above the update list.  It only names the columns and
// supplies their widths, which the row drawing uses as column positions; it is
// disabled and lets the pointer through, so nothing can be clicked or dragged.
#include <QString>
#include <QWidget>
#include <vector>

class TLookHeader : public QWidget {
  Q_OBJECT

 public:
  struct THeaderSection {
    QString Text;
    int Width = 0;
    bool AutoSize = false;
    int MinWidth = 0;
    int MaxWidth = kMaxSectionWidth;
  };
  static constexpr int kMaxSectionWidth = 10000;

  explicit TLookHeader(QWidget* parent = nullptr);

  void AddSection(const QString& text, int width, bool autoSize = false);
  // MaxWidth is never more than kMaxSectionWidth; MinWidth never more than MaxWidth.
  void SetSectionLimits(int index, int minWidth, int maxWidth);
  int SectionCount() const;
  // Raise the list index error outside the sections.
  const THeaderSection& Section(int index) const;
  int SectionLeft(int index) const;  // the sum of the widths before it

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CheckIndex(int index) const;
  void ShareAutoSizeWidths() const;

  // The widths follow the header's width; a hidden header gets no resize
  // event, so the sharing also runs when a width is read after a change.
  mutable std::vector<THeaderSection> FSections;
  mutable int FSharedForWidth = -1;
};
