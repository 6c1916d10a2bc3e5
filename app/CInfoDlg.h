// The details dialog of one link: its folders, mode and state, and what its last run found.
#pragma once

#include <QDialog>
#include <QLocale>

class CSyncLink;
class QFormLayout;

// Title string 278 with the logo in its corner; the values "Local folder:", "Server folder:",
// "Synchronization type:" and "Status:", and for a synchronized link with changes the three local
// and three server counts (and the items that did not synchronize, when any). Each value label
// is named "<key>Value": localFolderValue, serverFolderValue, syncTypeValue, statusValue,
// localAdditionsValue, localUpdatesValue, localDeletionsValue, serverAdditionsValue,
// serverUpdatesValue, serverDeletionsValue, itemErrorsValue. The status is the error in plain
// words for a failed link; times are written as `locale` does. The dialog is wide enough for its
// title. The link is copied.
class CInfoDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CInfoDlg(const CSyncLink& link, const QLocale& locale = QLocale(), QWidget* parent = nullptr);

 private:
  void AddValue(QFormLayout& form, unsigned labelId, const QString& value, const char* name);
};
