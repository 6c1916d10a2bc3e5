// QMessageBox with the program's own button texts, and the program's dialogs for the other questions.
#include "app/QtPrompt.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "app/CConflictDlg.h"
#include "app/CEmailListDlg.h"
#include "app/CloginPassDlg.h"
#include "app/GuardQuestions.h"
#include "app/QtText.h"

namespace {

QMessageBox::Icon IconFor(PromptKind kind) {
  switch (kind) {
    case PromptKind::Information:
      return QMessageBox::Information;
    case PromptKind::Warning:
      return QMessageBox::Warning;
    case PromptKind::Error:
      return QMessageBox::Critical;
    case PromptKind::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QPushButton* AddButton(QMessageBox& box, unsigned textId, QMessageBox::ButtonRole role, const char* objectName) {
  QPushButton* button = box.addButton(TableText(textId), role);
  button->setObjectName(QString::fromLatin1(objectName));
  return button;
}

}  // namespace

QtPrompt::QtPrompt(std::string productName, QWidget* parent) : mProductName(std::move(productName)), mParent(parent) {}

PromptAnswer QtPrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  QMessageBox box(IconFor(kind), ToQString(mProductName), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::NoButton, mParent);
  box.setObjectName(QStringLiteral("promptMessage"));
  // The first button is the default one; the escape button is the safe answer.
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  switch (buttons) {
    case PromptButtons::Ok:
      first = AddButton(box, IDS_OK, QMessageBox::AcceptRole, "okButton");
      box.setEscapeButton(first);
      break;
    case PromptButtons::OkCancel:
      first = AddButton(box, IDS_OK, QMessageBox::AcceptRole, "okButton");
      second = AddButton(box, IDS_CANCEL, QMessageBox::RejectRole, "cancelButton");
      box.setEscapeButton(second);
      break;
    case PromptButtons::YesNo:
      first = AddButton(box, IDS_YES, QMessageBox::YesRole, "yesButton");
      second = AddButton(box, IDS_NO, QMessageBox::NoRole, "noButton");
      box.setEscapeButton(second);
      break;
  }
  box.setDefaultButton(first);
  QPushButton* showLog = kind == PromptKind::Error && mOpenLog ? AddButton(box, IDS_SHOW_LOG, QMessageBox::HelpRole, "showLogButton") : nullptr;
  box.exec();
  if (showLog != nullptr && box.clickedButton() == showLog) {
    mOpenLog();
    return SafeDefaultAnswer(buttons);
  }
  const bool firstChosen = box.clickedButton() == first;
  switch (buttons) {
    case PromptButtons::Ok:
      return PromptAnswer::Ok;
    case PromptButtons::OkCancel:
      return firstChosen ? PromptAnswer::Ok : PromptAnswer::Cancel;
    case PromptButtons::YesNo:
      return firstChosen ? PromptAnswer::Yes : PromptAnswer::No;
  }
  return SafeDefaultAnswer(buttons);
}

bool QtPrompt::AskLogin(LoginRequest& request) {
  CloginPassDlg dialog(mProductName, request, mParent);
  if (dialog.exec() != QDialog::Accepted) return false;
  request = dialog.Entered();
  return true;
}

ConflictAnswer QtPrompt::AskConflict(const ConflictQuestion& question) {
  CConflictDlg dialog(question, mParent);
  return dialog.AskConflict();
}

std::optional<EmailTypesAnswer> QtPrompt::AskEmailTypes(const EmailTypesQuestion& question) {
  CEmailListDlg dialog(question, mParent);
  return dialog.AskEmailTypes();
}

SlowSyncAnswer QtPrompt::AskSlowSync(const SlowSyncQuestion& question) {
  return AskSlowSyncQuestion(question, QString(), mParent);
}

DeletionAnswer QtPrompt::AskMassDeletion(const MassDeletionQuestion& question) {
  return AskMassDeletionQuestion(question, QString(), mParent);
}
