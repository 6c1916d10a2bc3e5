// Reading the log into the viewer, and the choice between the desktop's opener and the viewer.
#include "app/LogViewerDlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/QtText.h"

namespace {

// The file's text, or its last kMaxShownBytes from the start of a line; empty when unreadable.
QString LogText(const std::string& path) {
  QFile file(ToQString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const qint64 size = file.size();
  if (size > LogViewerDlg::kMaxShownBytes) file.seek(size - LogViewerDlg::kMaxShownBytes);
  QByteArray bytes = file.read(LogViewerDlg::kMaxShownBytes);
  if (size > LogViewerDlg::kMaxShownBytes) bytes.remove(0, bytes.indexOf('\n') + 1);
  // The log is 8-bit text in the locale's codeset; Latin-1 shows every byte as some character.
  QString text = QString::fromUtf8(bytes);
  if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

}  // namespace

LogViewerDlg::LogViewerDlg(const std::string& path, QWidget* parent) : QDialog(parent), mText(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("logViewer"));
  setWindowTitle(TableText(IDS_LOG_VIEWER_TITLE));
  mText->setObjectName(QStringLiteral("logText"));
  mText->setReadOnly(true);
  mText->setLineWrapMode(QPlainTextEdit::NoWrap);
  mText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QString text = LogText(path);
  mText->setPlainText(text.isEmpty() ? TableText(IDS_LOG_EMPTY) : text);
  mText->verticalScrollBar()->setValue(mText->verticalScrollBar()->maximum());

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(TableText(IDS_CLOSE), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("closeButton"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(mText);
  layout->addWidget(buttons);
  resize(760, 480);
}

void LogViewerDlg::ShowLog(const std::string& path, QWidget* parent, const DesktopOpener& opener) {
  const QUrl url = QUrl::fromLocalFile(ToQString(path));
  if (QFileInfo::exists(ToQString(path)) && (opener ? opener(url) : QDesktopServices::openUrl(url))) return;
  auto* viewer = new LogViewerDlg(path, parent);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
}
