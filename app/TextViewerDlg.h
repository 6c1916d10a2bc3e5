// A read-only text in a window of its own: the help text, shown without a browser.
#pragma once

#include <QDialog>
#include <QString>

// "textView" holds the text (read-only, fixed-width, not wrapped) and "closeButton" (OK) closes
// the window, as Escape does.
class TextViewerDlg final : public QDialog {
  Q_OBJECT

 public:
  TextViewerDlg(const QString& title, const QString& text, QWidget* parent = nullptr);
};
