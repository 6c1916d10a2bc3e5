// The program's own window onto the run log, for desktops without an opener for text files.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>
#include <string>

class QPlainTextEdit;

// Opens a file with the desktop's default application; false when none could be started.
using DesktopOpener = std::function<bool(const QUrl&)>;

// Titled 1115, "logText" (read-only, the end of the file when it is large, scrolled to its last
// line; text 1116 when there is no log yet) and "closeButton". Not modal: the window it belongs
// to stays usable.
class LogViewerDlg final : public QDialog {
  Q_OBJECT

 public:
  // The most of a log that is shown: its last bytes.
  static constexpr qint64 kMaxShownBytes = 4 << 20;

  explicit LogViewerDlg(const std::string& path, QWidget* parent = nullptr);

  // Shows the log at `path`: with `opener` (empty: the desktop's, QDesktopServices) when the file
  // exists and the opener starts; otherwise in a LogViewerDlg over `parent`, which owns it.
  static void ShowLog(const std::string& path, QWidget* parent, const DesktopOpener& opener = {});

 private:
  QPlainTextEdit* mText;
};
