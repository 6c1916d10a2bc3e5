// Layout and answers of the conflict dialog.
#include "app/CConflictDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QtText.h"

CConflictDlg::CConflictDlg(const ConflictQuestion& question, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CConflictDlg"));
  setWindowTitle(TableText(IDS_CONFLICT_TITLE));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(TableText(IDS_CONFLICT_TEXT), this));
  layout->addWidget(new QLabel(TableText(IDS_CONTACT_NAME_ALIAS), this));
  auto* contact = new QLabel(ToQString(ConflictContactLine(question)), this);
  contact->setObjectName(QStringLiteral("contactLabel"));
  contact->setTextFormat(Qt::PlainText);
  layout->addWidget(contact);
  layout->addWidget(new QLabel(TableText(IDS_SELECT_FINAL_VALUE), this));

  struct Choice {
    unsigned textId;
    const char* name;
    ConflictAnswer answer;
  };
  auto* buttons = new QHBoxLayout;
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
