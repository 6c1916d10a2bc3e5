// Prompt answers for runs without a user, and the switch that keeps silent runs from asking.
#include "common/Prompt.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "common/Format.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"

PromptAnswer SafeDefaultAnswer(PromptButtons buttons) {
  switch (buttons) {
    case PromptButtons::Ok:
      return PromptAnswer::Ok;
    case PromptButtons::OkCancel:
      return PromptAnswer::Cancel;
    case PromptButtons::YesNo:
      return PromptAnswer::No;
  }
  return PromptAnswer::Cancel;
}

std::string ConflictContactLine(const ConflictQuestion& question) {
  if (question.kind != ConflictItemKind::Contact) return question.displayName;
  return question.displayName + " [" + question.nickname + " ]";
}

EmailTypesAnswer AutomaticEmailTypes(const EmailTypesQuestion& question) {
  EmailTypesAnswer answer{question.types, EMAIL_ALWAYS_ASK};
  if (question.addresses.size() != question.types.size()) return answer;
  const auto has = [&](const char* kind) { return std::find(answer.types.begin(), answer.types.end(), kind) != answer.types.end(); };
  bool home = has(kEmailTypeHome);
  bool work = has(kEmailTypeWork);
  for (std::string& type : answer.types) {
    if (!type.empty()) continue;
    type = std::string(!home || work ? kEmailTypeHome : kEmailTypeWork);
    (type == kEmailTypeHome ? home : work) = true;
  }
  return answer;
}

ConflictAnswer Prompt::AskConflict(const ConflictQuestion&) { return ConflictAnswer::Both; }

SlowSyncAnswer Prompt::AskSlowSync(const SlowSyncQuestion&) { return SlowSyncAnswer::Skip; }

DeletionAnswer Prompt::AskMassDeletion(const MassDeletionQuestion&) { return DeletionAnswer::Hold; }

std::optional<EmailTypesAnswer> Prompt::AskEmailTypes(const EmailTypesQuestion& question) {
  return AutomaticEmailTypes(question);
}

HeadlessPrompt::HeadlessPrompt(std::ostream& out) : mOut(out) {}

PromptAnswer HeadlessPrompt::Message(std::string_view text, PromptButtons buttons, PromptKind) {
  WriteLine(text);
  return SafeDefaultAnswer(buttons);
}

bool HeadlessPrompt::AskLogin(LoginRequest&) {
  WriteLine(LoadString(IDS_ENTER_LOGIN));
  return false;
}

ConflictAnswer HeadlessPrompt::AskConflict(const ConflictQuestion& question) {
  WriteLine(FormatText(LoadString(IDS_CONFLICT_TEXT), {question.serverName}) + "\n" + ConflictContactLine(question));
  return ConflictAnswer::Both;
}

std::optional<EmailTypesAnswer> HeadlessPrompt::AskEmailTypes(const EmailTypesQuestion& question) {
  WriteLine(LoadString(IDS_EMAILS_MODIFIED) + "\n" + ConflictContactLine({question.displayName, question.nickname}));
  return AutomaticEmailTypes(question);
}

// Texts can carry server messages; control sequences in them must not reach a terminal.
void HeadlessPrompt::WriteLine(std::string_view text) { mOut << TerminalSafe(text, true) << '\n' << std::flush; }

SilentAwarePrompt::SilentAwarePrompt(Prompt& interactive, Prompt& quiet, std::function<bool()> isSilent)
    : mInteractive(interactive), mQuiet(quiet), mIsSilent(std::move(isSilent)) {}

PromptAnswer SilentAwarePrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  return Current().Message(text, buttons, kind);
}

bool SilentAwarePrompt::AskLogin(LoginRequest& request) { return Current().AskLogin(request); }

ConflictAnswer SilentAwarePrompt::AskConflict(const ConflictQuestion& question) {
  return Current().AskConflict(question);
}

SlowSyncAnswer SilentAwarePrompt::AskSlowSync(const SlowSyncQuestion& question) { return Current().AskSlowSync(question); }

DeletionAnswer SilentAwarePrompt::AskMassDeletion(const MassDeletionQuestion& question) {
  return Current().AskMassDeletion(question);
}

std::optional<EmailTypesAnswer> SilentAwarePrompt::AskEmailTypes(const EmailTypesQuestion& question) {
  return Current().AskEmailTypes(question);
}

Prompt& SilentAwarePrompt::Current() { return mIsSilent && mIsSilent() ? mQuiet : mInteractive; }
