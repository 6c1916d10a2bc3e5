// Message boxes with one button per answer; closing the box changes nothing.
#include "app/GuardQuestions.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

#include "app/QtText.h"

namespace {

template <class Answer>
struct Choice {
  unsigned textId;
  const char* objectName;
  Answer answer;
};

// The first choice is the default button, the last the escape answer.
template <class Answer>
Answer AskWithChoices(const QString& title, const QString& text, const std::vector<Choice<Answer>>& choices, QWidget* parent) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
  box.setObjectName(QStringLiteral("guardQuestion"));
  std::vector<std::pair<QPushButton*, Answer>> buttons;
  for (const Choice<Answer>& choice : choices) {
    QPushButton* button = box.addButton(TableText(choice.textId), QMessageBox::ActionRole);
    button->setObjectName(QString::fromLatin1(choice.objectName));
    buttons.emplace_back(button, choice.answer);
  }
  box.setDefaultButton(buttons.front().first);
  box.setEscapeButton(buttons.back().first);
  box.exec();
  for (const auto& [button, answer] : buttons) {
    if (box.clickedButton() == button) return answer;
  }
  return buttons.back().second;
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
