// Drawing of one link row.
#include "app/CXListBoxDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionProgressBar>

#include "app/CXListBox.h"
#include "app/QtText.h"
#include "engine/CSyncLink.h"

namespace {

constexpr int kMargin = 6;
constexpr int kTypeImageSize = 32;
constexpr int kStateImageSize = 24;
constexpr int kProgressWidth = 150;
constexpr int kProgressHeight = 14;
// What the row rule adds to the three lines of text.
constexpr int kRowPadding = 14;

QFont PointFont(int points, bool bold) {
  QFont font = QApplication::font();
  font.setPointSize(points);
  font.setBold(bold);
  return font;
}

}  // namespace

CXListBoxDelegate::CXListBoxDelegate(QObject* parent)
    : QStyledItemDelegate(parent),
      mNameFont(PointFont(9, true)),
      mStateFont(PointFont(7, false)),
      mTypeImages{QPixmap(QStringLiteral(":/larkspan/contacts.png")), QPixmap(QStringLiteral(":/larkspan/events.png")),
                  QPixmap(QStringLiteral(":/larkspan/tasks.png"))},
      mStateImages{QPixmap(QStringLiteral(":/larkspan/synchronized.png")), QPixmap(QStringLiteral(":/larkspan/failed.png")),
                   QPixmap(QStringLiteral(":/larkspan/in-progress.png"))} {}

int CXListBoxDelegate::RowHeight() const {
  return 2 * QFontMetrics(mNameFont).height() + QFontMetrics(mStateFont).height() + kRowPadding;
}

QSize CXListBoxDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width() > 0 ? option.rect.width() : 300, RowHeight());
}

QPixmap CXListBoxDelegate::StateImage(int state) const {
  switch (state) {
    case SYNC_STATE_SYNCHRONIZED: return mStateImages[0];
    case SYNC_STATE_FAILED: return mStateImages[1];
    case SYNC_STATE_IN_PROGRESS: return mStateImages[2];
    default: return QPixmap();
  }
}

QPixmap CXListBoxDelegate::TypeImage(int dataType) const {
  return dataType >= 0 && dataType < 3 ? mTypeImages[dataType] : QPixmap();
}

QString CXListBoxDelegate::ProgressText(int sent, int toSend, int received) {
  if (toSend > 0) return ToQString(FormatText(LoadString(IDS_ITEMS_PROGRESS), {sent, toSend, received}));
  if (received > 0) return ToQString(FormatText(LoadString(IDS_ITEMS_RECEIVED), {received}));
  return QString();
}

int CXListBoxDelegate::TextWidth(int rowWidth) { return rowWidth - 2 * kMargin - kTypeImageSize - kMargin - kStateImageSize - kMargin; }

bool CXListBoxDelegate::TextsFit(const QModelIndex& index, int rowWidth) const {
  const int width = TextWidth(rowWidth);
  const QFontMetrics names(mNameFont);
  return names.horizontalAdvance(index.data(RowLocalName).toString()) <= width &&
         names.horizontalAdvance(index.data(RowServerName).toString()) <= width &&
         QFontMetrics(mStateFont).horizontalAdvance(index.data(RowStateText).toString()) <= width;
}

void CXListBoxDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  const QRect row = option.rect;
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  const bool disabled = index.data(RowDisabled).toBool();
  painter->fillRect(row, selected ? option.palette.highlight() : option.palette.base());

  const QPixmap type = TypeImage(index.data(RowDataType).toInt());
  if (!type.isNull()) {
    painter->drawPixmap(row.left() + kMargin, row.top() + (row.height() - kTypeImageSize) / 2, kTypeImageSize,
                        kTypeImageSize, type);
  }
  const QPixmap state = StateImage(index.data(RowState).toInt());
  const int stateLeft = row.right() - kMargin - kStateImageSize;
  if (!state.isNull()) {
    painter->drawPixmap(stateLeft, row.top() + (row.height() - kStateImageSize) / 2, kStateImageSize, kStateImageSize, state);
  }

  const QColor grey(128, 128, 128);
  const QColor nameColour = selected ? QColor(Qt::white) : disabled ? grey : QColor(Qt::black);
  const int textLeft = row.left() + kMargin + kTypeImageSize + kMargin;
  const int textRight = textLeft + TextWidth(row.width());
  const QFontMetrics names(mNameFont);
  const QFontMetrics small(mStateFont);
  int top = row.top() + kRowPadding / 2;
  painter->setFont(mNameFont);
  painter->setPen(nameColour);
  const int nameWidth = textRight - textLeft;
  painter->drawText(QRect(textLeft, top, nameWidth, names.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    names.elidedText(index.data(RowLocalName).toString(), Qt::ElideRight, nameWidth));
  top += names.height();
  painter->drawText(QRect(textLeft, top, nameWidth, names.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    names.elidedText(index.data(RowServerName).toString(), Qt::ElideRight, nameWidth));
  top += names.height();
  painter->setFont(mStateFont);
  painter->setPen(selected ? QColor(Qt::white) : grey);
  painter->drawText(QRect(textLeft, top, nameWidth, small.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    small.elidedText(index.data(RowStateText).toString(), Qt::ElideRight, nameWidth));

  const QRect progress(textRight - kProgressWidth, row.top() + kRowPadding / 2 + (names.height() - kProgressHeight) / 2,
                       kProgressWidth, kProgressHeight);
  if (progress.left() > textLeft + names.horizontalAdvance(index.data(RowLocalName).toString())) {
    PaintProgress(painter, progress, index, selected);
  }

  painter->setPen(QColor(200, 200, 200));
  painter->drawLine(row.left(), row.bottom(), row.right(), row.bottom());
  painter->restore();
}

void CXListBoxDelegate::PaintProgress(QPainter* painter, const QRect& area, const QModelIndex& index, bool selected) const {
  if (index.data(RowState).toInt() != SYNC_STATE_IN_PROGRESS) return;
  const int sent = index.data(RowItemsSent).toInt();
  const int toSend = index.data(RowItemsToSend).toInt();
  const int received = index.data(RowItemsReceived).toInt();
  const QString text = ProgressText(sent, toSend, received);
  if (text.isEmpty()) return;
  // Sending has a known end; receiving does not, so its bar only shows that items come in.
  QStyleOptionProgressBar bar;
  bar.rect = area;
  bar.minimum = 0;
  bar.maximum = toSend > 0 ? toSend : 1;
  bar.progress = toSend > 0 ? sent : 1;
  bar.textVisible = false;
  bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
  QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
  painter->setFont(mStateFont);
  painter->setPen(selected ? QColor(Qt::white) : QColor(96, 96, 96));
  painter->drawText(QRect(area.left(), area.bottom() + 1, area.width(), QFontMetrics(mStateFont).height()),
                    Qt::AlignRight | Qt::AlignTop, text);
}
