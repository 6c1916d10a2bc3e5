// Dialogs with one button per answer; closing one changes nothing.
#include "app/GuardQuestions.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <vector>

#include "app/QtText.h"

namespace {

template <class Answer>
struct Choice {
  unsigned textId;
  const char* objectName;
  Answer answer;
};

// The answers are whole sentences: one full-width button each, stacked, the first the default.
// Closing the dialog gives the last answer.
template <class Answer>
Answer AskWithChoices(const QString& title, const QString& text, const std::vector<Choice<Answer>>& choices, QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("guardQuestion"));
  dialog.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&dialog);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(&dialog);
  const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
  icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &dialog).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon);
  auto* label = new QLabel(text, &dialog);
  label->setObjectName(QStringLiteral("questionText"));
  label->setWordWrap(true);
  label->setMinimumWidth(420);
  top->addWidget(label, 1);
  layout->addLayout(top);
  Answer chosen = choices.back().answer;
  for (const Choice<Answer>& choice : choices) {
    auto* button = new QPushButton(TableText(choice.textId), &dialog);
    button->setObjectName(QString::fromLatin1(choice.objectName));
    button->setAutoDefault(false);
    if (&choice == &choices.front()) button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &chosen, answer = choice.answer] {
      chosen = answer;
      dialog.accept();
    });
    layout->addWidget(button);
  }
  dialog.exec();
  return chosen;
}

}  // namespace

QString SlowSyncQuestionText(const SlowSyncQuestion& question) {
  const unsigned what = question.serverAsked ? IDS_SLOW_SYNC_SERVER_ASKED : IDS_SLOW_SYNC_ANCHORS_LOST;
  return ToQString(FormatText(LoadString(what), {question.linkName}) + "\n\n" +
                   FormatText(LoadString(IDS_SLOW_SYNC_COUNTS), {question.localItems, question.itemsAtLastSync}));
}

QString MassDeletionQuestionText(const MassDeletionQuestion& question) {
  const unsigned what = question.byServer ? IDS_MASS_DELETE_BY_SERVER : IDS_MASS_DELETE_LOCAL;
  return ToQString(FormatText(LoadString(what), {question.deletions, question.items, question.linkName}));
}

SlowSyncAnswer AskSlowSyncQuestion(const SlowSyncQuestion& question, const QString& title, QWidget* parent) {
  return AskWithChoices<SlowSyncAnswer>(title.isEmpty() ? TableText(IDS_SLOW_SYNC_TITLE) : title, SlowSyncQuestionText(question),
                                        {{IDS_SLOW_SYNC_MERGE, "mergeButton", SlowSyncAnswer::Merge},
                                         {IDS_SLOW_SYNC_FROM_SERVER, "refreshFromServerButton", SlowSyncAnswer::RefreshFromServer},
                                         {IDS_SLOW_SYNC_FROM_CLIENT, "refreshFromClientButton", SlowSyncAnswer::RefreshFromClient},
                                         {IDS_SKIP_LINK_NOW, "skipButton", SlowSyncAnswer::Skip}},
                                        parent);
}

DeletionAnswer AskMassDeletionQuestion(const MassDeletionQuestion& question, const QString& title, QWidget* parent) {
  return AskWithChoices<DeletionAnswer>(title.isEmpty() ? TableText(IDS_MASS_DELETE_TITLE) : title, MassDeletionQuestionText(question),
                                        {{IDS_MASS_DELETE_CONFIRM, "confirmDeletionsButton", DeletionAnswer::Confirm},
                                         {IDS_MASS_DELETE_REFUSE, "refuseDeletionsButton", DeletionAnswer::Refuse},
                                         {IDS_MASS_DELETE_HOLD, "holdDeletionsButton", DeletionAnswer::Hold}},
                                        parent);
}
