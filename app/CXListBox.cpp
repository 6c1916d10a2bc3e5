// The link list: rows filled from the links, hover selection, clicks that ask for the row menu.
#include "app/CXListBox.h"

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

void CXListBox::SetRow(QStandardItem& item, const CSyncLink& link) {
  item.setData(link.mDataType, RowDataType);
  item.setData(ToQString(link.mLocalName), RowLocalName);
  item.setData(ToQString(link.ServerDisplayName()), RowServerName);
  item.setData(ToQString(link.StateText()), RowStateText);
  item.setData(link.mState, RowState);
  item.setData(link.mRowDisabled, RowDisabled);
  item.setData(ToQString(link.mLocalName + "\n" + link.ServerDisplayName() + "\n" + link.StateText()), Qt::AccessibleTextRole);
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

void CXListBox::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid() || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) {
    QListView::mousePressEvent(event);
    return;
  }
  setCurrentIndex(index);
  if (!IsRowDisabled(index.row())) emit rowClicked(index.row(), event->globalPosition().toPoint());
}
