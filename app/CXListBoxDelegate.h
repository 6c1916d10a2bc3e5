// How a row of the link list is drawn: type image, names in bold, state text small and grey, state
// image, a separator line, and while a link runs the progress of its items.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QStyledItemDelegate>

// The row height: two lines of the bold 9-point font, one of the 7-point font, plus 14 pixels.
class CXListBoxDelegate final : public QStyledItemDelegate {
 public:
  explicit CXListBoxDelegate(QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // The height of every row, by the rule above.
  int RowHeight() const;
  // The state image of `state` (null for "never synchronized" and unknown states).
  QPixmap StateImage(int state) const;
  QPixmap TypeImage(int dataType) const;
  // "4 of 20 sent, 3 received" for a running row, "" when there is nothing to show.
  static QString ProgressText(int sent, int toSend, int received);
  // Whether the names and the state text of the row at `index` show whole in a row `rowWidth`
  // wide (they are elided otherwise).
  bool TextsFit(const QModelIndex& index, int rowWidth) const;

 private:
  // The width the texts have in a row of `rowWidth`.
  static int TextWidth(int rowWidth);
  void PaintProgress(QPainter* painter, const QRect& area, const QModelIndex& index, bool selected) const;

  QFont mNameFont;
  QFont mStateFont;
  QPixmap mTypeImages[3];
  QPixmap mStateImages[3];
};
