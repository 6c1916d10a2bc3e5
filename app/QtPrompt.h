// Message boxes, the login dialog, and the conflict, e-mail and guard questions of the Qt user interface.
#pragma once

#include <functional>
#include <string>

#include "common/Prompt.h"

class QWidget;

// Shows each question as a modal dialog over `parent` (none: application modal) and waits for the
// answer. The box's object name is "promptMessage", its buttons' "okButton", "cancelButton",
// "yesButton", "noButton". Button texts come from the string table. An error box also has
// "showLogButton" ("Show log") while a log opener is set: it closes the box with the safe answer
// and opens the log. Used on the user-interface thread only; `parent` must outlive the object.
class QtPrompt final : public Prompt {
 public:
  explicit QtPrompt(std::string productName, QWidget* parent = nullptr);

  // Opens the run log (called on the user-interface thread); empty: error boxes have no "Show log".
  void SetLogOpener(std::function<void()> openLog) { mOpenLog = std::move(openLog); }

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override;
  // CConflictDlg; closing it without a choice keeps both values.
  ConflictAnswer AskConflict(const ConflictQuestion& question) override;
  // CEmailListDlg; std::nullopt on Cancel.
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override;
  // The guards' questions (GuardQuestions.h); closed without a choice: skip, and hold.
  SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question) override;
  DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question) override;

 private:
  std::string mProductName;
  QWidget* mParent;
  std::function<void()> mOpenLog;
};
