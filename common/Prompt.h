// The questions and messages the program puts to the user, behind one interface: the Qt user
// interface answers them with dialogs, silent and command-line runs with the safe default.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptAnswer { Ok, Cancel, Yes, No };
// How the message presents itself (its icon); it does not change the answer.
enum class PromptKind { Information, Warning, Error, Question };

// The answer given when nobody can be asked: Ok for an Ok box, Cancel for Ok/Cancel, No for Yes/No.
PromptAnswer SafeDefaultAnswer(PromptButtons buttons);

// Which value of an item changed both locally and on the server is kept: the local one, the
// server's, or both (the item is duplicated).
enum class ConflictAnswer { Local, Server, Both };

// What the conflict question shows of the item.
struct ConflictQuestion {
  std::string displayName;
  std::string nickname;
};

// The contact line of the conflict question: the display name, " [", the nickname and " ]".
std::string ConflictContactLine(const ConflictQuestion& question);

// The login request: the values shown first, and on OK the values entered (UTF-8).
struct LoginRequest {
  std::string login;
  std::string password;
  bool rememberPassword = false;
};

// Implementations are called on the user-interface thread, or from the worker through a
// blocking hand-over to it; they decide how to show the question, never whether the program may
// ask (SilentAwarePrompt does that).
class Prompt {
 public:
  virtual ~Prompt() = default;

  // Shows `text` with `buttons`; the button chosen. A box closed without a button gives
  // SafeDefaultAnswer(buttons).
  virtual PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                               PromptKind kind = PromptKind::Information) = 0;

  // Asks for login and password. `request` holds the values to show and receives the entered
  // ones; false (and `request` unchanged) when the user cancelled.
  virtual bool AskLogin(LoginRequest& request) = 0;

  // Asks which value of a conflicting item to keep. This implementation answers Both, the answer
  // of a question closed without a choice; prompts that can show the question override it.
  virtual ConflictAnswer AskConflict(const ConflictQuestion& question);
};

// For runs without a user: never blocks, writes each text as one line to `out` (control
// characters other than line break and tab shown as "?"), and gives the safe default answer; a
// login request is declined and a conflict keeps both values. `out` must outlive the object.
class HeadlessPrompt final : public Prompt {
 public:
  explicit HeadlessPrompt(std::ostream& out);

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override;
  ConflictAnswer AskConflict(const ConflictQuestion& question) override;

 private:
  void WriteLine(std::string_view text);

  std::ostream& mOut;
};

// Honours the silent flag: forwards to `interactive` unless `isSilent()` is true at the moment
// of the question, then to `quiet`. Both prompts must outlive this object.
class SilentAwarePrompt final : public Prompt {
 public:
  SilentAwarePrompt(Prompt& interactive, Prompt& quiet, std::function<bool()> isSilent);

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override;
  ConflictAnswer AskConflict(const ConflictQuestion& question) override;

 private:
  Prompt& Current();

  Prompt& mInteractive;
  Prompt& mQuiet;
  std::function<bool()> mIsSilent;
};
