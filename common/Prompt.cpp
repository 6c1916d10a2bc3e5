// Prompt answers for runs without a user, and the switch that keeps silent runs from asking.
#include "common/Prompt.h"

#include <ostream>
#include <utility>

#include "common/StringTable.h"

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
  return question.displayName + " [" + question.nickname + " ]";
}

ConflictAnswer Prompt::AskConflict(const ConflictQuestion&) { return ConflictAnswer::Both; }

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
  WriteLine(LoadString(IDS_CONFLICT_TEXT) + "\n" + ConflictContactLine(question));
  return ConflictAnswer::Both;
}

// Texts can carry server messages; terminal control sequences in them must not reach a terminal.
void HeadlessPrompt::WriteLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  for (char c : text) {
    const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    line.push_back(control && c != '\n' && c != '\t' ? '?' : c);
  }
  line.push_back('\n');
  mOut << line << std::flush;
}

SilentAwarePrompt::SilentAwarePrompt(Prompt& interactive, Prompt& quiet, std::function<bool()> isSilent)
    : mInteractive(interactive), mQuiet(quiet), mIsSilent(std::move(isSilent)) {}

PromptAnswer SilentAwarePrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  return Current().Message(text, buttons, kind);
}

bool SilentAwarePrompt::AskLogin(LoginRequest& request) { return Current().AskLogin(request); }

ConflictAnswer SilentAwarePrompt::AskConflict(const ConflictQuestion& question) {
  return Current().AskConflict(question);
}

Prompt& SilentAwarePrompt::Current() { return mIsSilent && mIsSilent() ? mQuiet : mInteractive; }
