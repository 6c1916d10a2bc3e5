// Layout and answers of the conflict dialog.
#include "app/CConflictDlg.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "app/QtText.h"

namespace {

// Longer values are cut in the table; the whole value is the cell's tip.
constexpr int kShownValueLength = 80;
constexpr int kLongestServerName = 60;

QString ShownValue(const std::string& value) {
  QString text = ToQString(value);
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" / ")).replace(QLatin1Char('\n'), QStringLiteral(" / "));
  if (text.size() > kShownValueLength) text = text.left(kShownValueLength - 1) + QChar(0x2026);
  return text;
}

QTableWidgetItem* Cell(const QString& text, const QString& tip = {}) {
  auto* cell = new QTableWidgetItem(text);
  cell->setFlags(Qt::ItemIsEnabled);
  if (!tip.isEmpty() && tip != text) cell->setToolTip(tip);
  return cell;
}

QTableWidget* FieldsTable(const ConflictQuestion& question, const QString& serverName, QWidget* parent) {
  auto* table = new QTableWidget(static_cast<int>(question.fields.size()), 3, parent);
  table->setObjectName(QStringLiteral("fieldsTable"));
  table->setHorizontalHeaderLabels(
      {TableText(IDS_CONFLICT_FIELD), TableText(IDS_CONFLICT_THIS_COMPUTER), ToQString(FormatText(LoadString(IDS_CONFLICT_ON_SERVER), {serverName.toStdString()}))});
  table->verticalHeader()->hide();
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setFocusPolicy(Qt::NoFocus);
  table->setWordWrap(false);
  int row = 0;
  for (const ConflictField& field : question.fields) {
    table->setItem(row, 0, Cell(CConflictDlg::FieldLabel(field.key)));
    table->setItem(row, 1, Cell(ShownValue(field.local), ToQString(field.local)));
    table->setItem(row, 2, Cell(ShownValue(field.server), ToQString(field.server)));
    ++row;
  }
  QHeaderView* header = table->horizontalHeader();
  header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  header->setStretchLastSection(true);
  table->resizeColumnsToContents();
  table->resizeRowsToContents();
  // As tall as its rows (up to eight, then it scrolls), wide enough for the columns.
  constexpr int kRowsWithoutScrolling = 8;
  int height = header->sizeHint().height() + 2 * table->frameWidth();
  for (int i = 0; i < std::min(row, kRowsWithoutScrolling); ++i) height += table->rowHeight(i);
  int width = 2 * table->frameWidth();
  for (int column = 0; column < 3; ++column) width += table->columnWidth(column);
  table->setMinimumWidth(std::min(width, 900));
  if (row <= kRowsWithoutScrolling) {
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFixedHeight(height);
  } else {
    table->setMinimumHeight(height);
  }
  return table;
}

}  // namespace

QString CConflictDlg::FieldLabel(const std::string& key) {
  static const std::map<std::string, unsigned> kLabels = {
      {"PR_DISPLAY_NAME", IDS_FIELD_DISPLAY_NAME},
      {"PR_DISPLAY_NAME_PREFIX", IDS_FIELD_NAME_PREFIX},
      {"PR_GIVEN_NAME", IDS_FIELD_GIVEN_NAME},
      {"PR_MIDDLE_NAME", IDS_FIELD_MIDDLE_NAME},
      {"PR_SURNAME", IDS_FIELD_SURNAME},
      {"PR_NICKNAME", IDS_FIELD_NICKNAME},
      {"PR_COMPANY_NAME", IDS_FIELD_COMPANY},
      {"PR_DEPARTMENT_NAME", IDS_FIELD_DEPARTMENT},
      {"PR_TITLE", IDS_FIELD_JOB_TITLE},
      {"PR_OFFICE_LOCATION", IDS_FIELD_OFFICE},
      {"EMAIL", IDS_FIELD_EMAIL},
      {"PR_BUSINESS_TELEPHONE_NUMBER", IDS_FIELD_BUSINESS_PHONE},
      {"PR_BUSINESS2_TELEPHONE_NUMBER", IDS_FIELD_BUSINESS_PHONE_2},
      {"PR_HOME_TELEPHONE_NUMBER", IDS_FIELD_HOME_PHONE},
      {"PR_HOME2_TELEPHONE_NUMBER", IDS_FIELD_HOME_PHONE_2},
      {"PR_MOBILE_TELEPHONE_NUMBER", IDS_FIELD_MOBILE_PHONE},
      {"PR_BUSINESS_FAX_NUMBER", IDS_FIELD_BUSINESS_FAX},
      {"PR_HOME_FAX_NUMBER", IDS_FIELD_HOME_FAX},
      {"PR_ZEP_ADDITIONAL_PHONES_LIST", IDS_FIELD_OTHER_PHONES},
      {"BUSINESS_ADDRESS", IDS_FIELD_BUSINESS_ADDRESS},
      {"HOME_ADDRESS", IDS_FIELD_HOME_ADDRESS},
      {"PR_BUSINESS_HOME_PAGE", IDS_FIELD_BUSINESS_WEB_PAGE},
      {"PR_PERSONAL_HOME_PAGE", IDS_FIELD_PERSONAL_WEB_PAGE},
      {"PR_ZEP_ADDITIONAL_URLS_LIST", IDS_FIELD_OTHER_WEB_PAGES},
      {"PR_COMMENT", IDS_FIELD_NOTES},
      {"VC_SUMMARY", IDS_FIELD_SUBJECT},
      {"VC_LOCATION", IDS_FIELD_LOCATION},
      {"VC_DTSTART", IDS_FIELD_START},
      {"VC_DTEND", IDS_FIELD_END},
      {"VC_DUE", IDS_FIELD_DUE},
      {"VC_RRULE", IDS_FIELD_REPEATS},
      {"EXDATE", IDS_FIELD_SKIPPED_DATES},
      {"VC_DESCRIPTION", IDS_FIELD_NOTES},
      {"VC_CATEGORIES", IDS_FIELD_CATEGORIES},
      {"VC_CLASS", IDS_FIELD_PRIVACY},
      {"VC_PRIORITY", IDS_FIELD_PRIORITY},
      {"VC_STATUS", IDS_FIELD_STATUS},
      {"PERCENT-COMPLETE", IDS_FIELD_PERCENT_COMPLETE},
      {"VC_TRIGGER", IDS_FIELD_REMINDER},
      {"ATTENDEES", IDS_FIELD_ATTENDEES},
      {"VC_ORGANIZER", IDS_FIELD_ORGANIZER},
  };
  const auto found = kLabels.find(key);
  return found != kLabels.end() ? TableText(found->second) : ToQString(key);
}

CConflictDlg::CConflictDlg(const ConflictQuestion& question, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CConflictDlg"));
  setWindowTitle(TableText(IDS_CONFLICT_TITLE));
  QString serverName = ToQString(question.serverName);
  if (serverName.size() > kLongestServerName) serverName = serverName.left(kLongestServerName - 1) + QChar(0x2026);

  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(ToQString(FormatText(LoadString(IDS_CONFLICT_TEXT), {serverName.toStdString()})), this);
  text->setObjectName(QStringLiteral("conflictText"));
  text->setTextFormat(Qt::PlainText);
  text->setWordWrap(true);
  layout->addWidget(text);
  const bool contact = question.kind == ConflictItemKind::Contact;
  layout->addWidget(new QLabel(TableText(contact ? IDS_CONTACT_NAME_ALIAS : IDS_CONFLICT_SUBJECT_LABEL), this));
  auto* item = new QLabel(ToQString(ConflictContactLine(question)), this);
  item->setObjectName(QStringLiteral("contactLabel"));
  item->setTextFormat(Qt::PlainText);
  QFont bold = item->font();
  bold.setBold(true);
  item->setFont(bold);
  layout->addWidget(item);
  if (question.serverVersionKnown && !question.fields.empty()) {
    layout->addWidget(FieldsTable(question, serverName, this));
  } else if (!question.serverVersionKnown) {
    auto* unknown = new QLabel(TableText(IDS_CONFLICT_SERVER_VERSION_UNKNOWN), this);
    unknown->setObjectName(QStringLiteral("serverVersionUnknown"));
    unknown->setWordWrap(true);
    layout->addWidget(unknown);
  }
  layout->addWidget(new QLabel(TableText(IDS_SELECT_FINAL_VALUE), this));

  struct Choice {
    unsigned textId;
    const char* name;
    ConflictAnswer answer;
  };
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (const Choice& choice : {Choice{IDS_SERVER_VALUE, "serverButton", ConflictAnswer::Server},
                               Choice{IDS_OUTLOOK_VALUE, "outlookButton", ConflictAnswer::Local},
                               Choice{IDS_BOTH_VALUES, "bothButton", ConflictAnswer::Both}}) {
    auto* button = new QPushButton(TableText(choice.textId), this);
    button->setObjectName(QString::fromLatin1(choice.name));
    button->setAutoDefault(false);
    button->setDefault(choice.answer == ConflictAnswer::Both);
    connect(button, &QPushButton::clicked, this, [this, answer = choice.answer] { Choose(answer); });
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  // The text wraps at the width of the table and buttons rather than growing the window.
  text->setMinimumWidth(std::max(360, layout->sizeHint().width() - layout->contentsMargins().left() - layout->contentsMargins().right()));
}

void CConflictDlg::Choose(ConflictAnswer answer) {
  mAnswer = answer;
  accept();
}

ConflictAnswer CConflictDlg::AskConflict() {
  mAnswer = ConflictAnswer::Both;
  exec();
  return mAnswer;
}
