// The link list: rows filled from the links, hover selection, clicks that ask for the row menu.
#include "app/CXListBox.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "app/CXListBoxDelegate.h"
#include "app/QtText.h"
#include "app/RowProgress.h"
#include "engine/CSyncLink.h"

CXListBox::CXListBox(QWidget* parent) : QListView(parent) {
  setObjectName(QStringLiteral("linkList"));
  setModel(&mModel);
  setItemDelegate(new CXListBoxDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  // Moving the mouse over a row selects it.
  connect(this, &QAbstractItemView::entered, this, [this](const QModelIndex& index) { setCurrentIndex(index); });
}

void CXListBox::Fill(const CSyncLinkArray& links) {
  const int selected = currentIndex().isValid() ? currentIndex().row() : -1;
  mModel.clear();
  for (const CSyncLink& link : links) {
    auto item = std::make_unique<QStandardItem>();
    item->setEditable(false);
    SetRow(*item, link);
    mModel.appendRow(item.release());
  }
  if (selected >= 0 && selected < mModel.rowCount()) setCurrentIndex(mModel.index(selected, 0));
}

void CXListBox::UpdateRow(int row, const CSyncLink& link) {
  if (QStandardItem* item = mModel.item(row)) SetRow(*item, link);
}

void CXListBox::SetRow(QStandardItem& item, const CSyncLink& link) const {
  const std::string state = link.StateText([this](std::int64_t time) { return LocalTimeText(mLocale, time); });
  item.setData(link.mDataType, RowDataType);
  item.setData(ToQString(link.mLocalName), RowLocalName);
  item.setData(ToQString(link.ServerDisplayName()), RowServerName);
  item.setData(ToQString(state), RowStateText);
  item.setData(ToQString(state), Qt::ToolTipRole);
  item.setData(link.mState, RowState);
  item.setData(link.mRowDisabled, RowDisabled);
  item.setData(ToQString(link.mLocalName + "\n" + link.ServerDisplayName() + "\n" + state), Qt::AccessibleTextRole);
  const RowProgress progress = RowProgress::Of(link);
  item.setData(progress.sent, RowItemsSent);
  item.setData(progress.toSend, RowItemsToSend);
  item.setData(progress.received, RowItemsReceived);
}

void CXListBox::SetAllDisabled(bool disabled) {
  for (int row = 0; row < mModel.rowCount(); ++row) mModel.item(row)->setData(disabled, RowDisabled);
}

void CXListBox::SetStateText(int row, const QString& text) {
  if (QStandardItem* item = mModel.item(row)) item->setData(text, RowStateText);
}

bool CXListBox::IsRowDisabled(int row) const {
  const QStandardItem* item = mModel.item(row);
  return item == nullptr || item->data(RowDisabled).toBool();
}

QString CXListBox::RowText(int row, LinkRowRole role) const {
  const QStandardItem* item = mModel.item(row);
  return item != nullptr ? item->data(role).toString() : QString();
}

int CXListBox::RowNumber(int row, LinkRowRole role) const {
  const QStandardItem* item = mModel.item(row);
  return item != nullptr ? item->data(role).toInt() : 0;
}

QPoint CXListBox::RowCentre(int row) const { return visualRect(mModel.index(row, 0)).center(); }

void CXListBox::RequestMenuOfCurrentRow() {
  const QModelIndex index = currentIndex().isValid() ? currentIndex() : mModel.index(0, 0);
  if (!index.isValid()) return;
  setCurrentIndex(index);
  const QRect rect = visualRect(index);
  if (!IsRowDisabled(index.row())) emit rowClicked(index.row(), viewport()->mapToGlobal(QPoint(rect.left() + rect.width() / 3, rect.center().y())));
}

void CXListBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier;
  const bool menu = event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
  if (enter || menu) {
    RequestMenuOfCurrentRow();
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

// The Menu key arrives as a context menu request from the keyboard on some platforms; the mouse's
// requests are the clicks handled above.
void CXListBox::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Keyboard) RequestMenuOfCurrentRow();
  event->accept();
}

void CXListBox::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid() || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) {
    QListView::mousePressEvent(event);
    return;
  }
  setCurrentIndex(index);
  if (!IsRowDisabled(index.row())) emit rowClicked(index.row(), event->globalPosition().toPoint());
}
