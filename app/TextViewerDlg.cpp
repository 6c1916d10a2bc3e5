// Layout of the text viewer.
#include "app/TextViewerDlg.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/QtText.h"

namespace {
// The window shows this many columns and lines of the text before it scrolls.
constexpr int kShownColumns = 80;
constexpr int kShownLines = 32;
}  // namespace

TextViewerDlg::TextViewerDlg(const QString& title, const QString& text, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("textViewer"));
  setWindowTitle(title);
  auto* view = new QPlainTextEdit(this);
  view->setObjectName(QStringLiteral("textView"));
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setPlainText(text);
  // The columns and lines fit beside the scroll bar, the frame and the document's margins.
  const QFontMetrics metrics(view->font());
  const int chrome = 2 * view->frameWidth() + 2 * static_cast<int>(view->document()->documentMargin()) +
                     view->verticalScrollBar()->sizeHint().width();
  view->setMinimumSize(metrics.horizontalAdvance(QString(kShownColumns, QLatin1Char('m'))) + chrome,
                       metrics.lineSpacing() * kShownLines + chrome);

  auto* close = new QPushButton(TableText(IDS_OK), this);
  close->setObjectName(QStringLiteral("closeButton"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view);
  layout->addLayout(buttons);
}
