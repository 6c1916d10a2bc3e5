// The main window's list of sync links: one owner-drawn row per link, selected by hovering, and
// a click that asks for the row's menu.
#pragma once

#include <QListView>
#include <QLocale>
#include <QPoint>
#include <QStandardItemModel>

class CSyncLink;
class CSyncLinkArray;

// What a row shows, as item data roles of the list's model.
enum LinkRowRole : int {
  RowDataType = Qt::UserRole + 1,  // int: 0 contacts, 1 events, 2 tasks
  RowLocalName,                    // QString
  RowServerName,                   // QString: ServerDisplayName
  RowStateText,                    // QString: StateText
  RowState,                        // int: the link's state
  RowDisabled,                     // bool: drawn grey, no menu
  RowItemsSent,                    // int: items of the change log sent so far (while running)
  RowItemsToSend,                  // int: the change log's total; 0 when nothing is being sent
  RowItemsReceived,                // int: server changes applied so far (while running)
};

// The list of links. Rows carry copies of what the window shows, filled from the links (the
// window owns the links; the list never points into them); times are written as the locale set
// with SetLocale does. Enter, the Menu key and Shift+F10 ask for the current row's menu as a
// click does. Lives on the user-interface thread.
class CXListBox : public QListView {
  Q_OBJECT

 public:
  explicit CXListBox(QWidget* parent = nullptr);

  // The conventions the rows' dates and times follow (from the next Fill or UpdateRow on).
  void SetLocale(const QLocale& locale) { mLocale = locale; }
  // One row per link in array order; the selection is kept where the row still exists.
  void Fill(const CSyncLinkArray& links);
  // Redraws row `row` from `link` (a copy the worker sent); nothing for a row outside the list.
  void UpdateRow(int row, const CSyncLink& link);
  // Sets or clears the disabled mark of every row.
  void SetAllDisabled(bool disabled);
  // Replaces the state text of row `row` (the "Canceling..." text).
  void SetStateText(int row, const QString& text);

  int RowCount() const { return mModel.rowCount(); }
  bool IsRowDisabled(int row) const;
  QString RowText(int row, LinkRowRole role) const;
  int RowNumber(int row, LinkRowRole role) const;
  // The centre of row `row` in viewport coordinates (for clicks and hovering).
  QPoint RowCentre(int row) const;

 signals:
  // A left or right click on row `row` that is not disabled, at `globalPos`; or the keyboard's
  // request for the current row's menu, at the row.
  void rowClicked(int row, QPoint globalPos);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void SetRow(QStandardItem& item, const CSyncLink& link) const;
  void RequestMenuOfCurrentRow();

  QStandardItemModel mModel;
  QLocale mLocale;
};
