// Layout of the text viewer.
#include "app/TextViewerDlg.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QtText.h"

namespace {
// The window shows this many columns and lines of the text before it scrolls.
constexpr int kShownColumns = 82;
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
  const QFontMetrics metrics(view->font());
  view->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('m')) * kShownColumns, metrics.lineSpacing() * kShownLines);

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
