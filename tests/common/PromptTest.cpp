// Prompts without a user: safe default answers, text on the stream, and the silent switch.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/Prompt.h"

namespace {

// Records what reached it and answers Yes / Ok / login accepted.
class AgreeingPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view text, PromptButtons buttons, PromptKind) override {
    texts.emplace_back(text);
    return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
  }
  bool AskLogin(LoginRequest& request) override {
    request.login = "typed";
    return true;
  }
  ConflictAnswer AskConflict(const ConflictQuestion& question) override {
    conflicts.push_back(question.displayName);
    return ConflictAnswer::Server;
  }
  std::vector<std::string> texts;
  std::vector<std::string> conflicts;
};

// Shows only messages: the conflict question takes the interface's own answer.
class MessageOnlyPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons, PromptKind) override { return PromptAnswer::Ok; }
  bool AskLogin(LoginRequest&) override { return false; }
};

TEST(HeadlessPrompt, AnswersTheSafeDefaultAndWritesEachTextAsALine) {
  std::ostringstream out;
  HeadlessPrompt prompt(out);
  EXPECT_EQ(prompt.Message("Proceed?", PromptButtons::YesNo), PromptAnswer::No);
  EXPECT_EQ(prompt.Message("Update now?", PromptButtons::OkCancel), PromptAnswer::Cancel);
  EXPECT_EQ(prompt.Message("Done.", PromptButtons::Ok), PromptAnswer::Ok);
  EXPECT_EQ(out.str(), "Proceed?\nUpdate now?\nDone.\n");
}

TEST(HeadlessPrompt, DeclinesLoginWithoutChangingTheRequest) {
  std::ostringstream out;
  HeadlessPrompt prompt(out);
  LoginRequest request{"user", "secret", true};
  EXPECT_FALSE(prompt.AskLogin(request));
  EXPECT_EQ(request.login, "user");
  EXPECT_EQ(request.password, "secret");
  EXPECT_EQ(out.str(), "Enter your login and password\n");
}

TEST(HeadlessPrompt, NeutralisesTerminalControlCharactersButKeepsLineBreaks) {
  std::ostringstream out;
  HeadlessPrompt prompt(out);
  prompt.Message(std::string("Server says \x1b[2Jhi\r\n\tbye\0!\xc2\x9b" "1m", 30));
  EXPECT_EQ(out.str(), "Server says ?[2Jhi?\n\tbye?!?1m\n");
}

TEST(HeadlessPrompt, ConflictKeepsBothAndWritesTheQuestionWithTheContactLine) {
  std::ostringstream out;
  HeadlessPrompt prompt(out);
  EXPECT_EQ(prompt.AskConflict(ConflictQuestion{"Ann Lee", "annie", ConflictItemKind::Contact, "sync.example.org"}),
            ConflictAnswer::Both);
  EXPECT_EQ(out.str(), "This item was changed both on sync.example.org and on this computer.\n"
                       "Ann Lee [annie ]\n");
  MessageOnlyPrompt plain;
  EXPECT_EQ(plain.AskConflict(ConflictQuestion{"Ann Lee", ""}), ConflictAnswer::Both);
}

TEST(SilentAwarePrompt, ConflictGoesToTheUserOnlyWhileNotSilent) {
  AgreeingPrompt user;
  std::ostringstream out;
  HeadlessPrompt quiet(out);
  bool silent = true;
  SilentAwarePrompt prompt(user, quiet, [&] { return silent; });

  EXPECT_EQ(prompt.AskConflict(ConflictQuestion{"Ann Lee", "annie"}), ConflictAnswer::Both);
  EXPECT_TRUE(user.conflicts.empty());
  EXPECT_NE(out.str().find("Ann Lee [annie ]"), std::string::npos);
  silent = false;
  EXPECT_EQ(prompt.AskConflict(ConflictQuestion{"Bo Chen", ""}), ConflictAnswer::Server);
  EXPECT_EQ(user.conflicts, std::vector<std::string>{"Bo Chen"});
}

TEST(SilentAwarePrompt, AsksTheUserOnlyWhileNotSilentAtTheMomentOfTheQuestion) {
  AgreeingPrompt user;
  std::ostringstream out;
  HeadlessPrompt quiet(out);
  bool silent = false;
  SilentAwarePrompt prompt(user, quiet, [&] { return silent; });

  EXPECT_EQ(prompt.Message("one", PromptButtons::YesNo), PromptAnswer::Yes);
  silent = true;
  EXPECT_EQ(prompt.Message("two", PromptButtons::YesNo), PromptAnswer::No);
  LoginRequest request;
  EXPECT_FALSE(prompt.AskLogin(request));
  silent = false;
  EXPECT_TRUE(prompt.AskLogin(request));
  EXPECT_EQ(request.login, "typed");

  EXPECT_EQ(user.texts, std::vector<std::string>{"one"});
  EXPECT_EQ(out.str(), "two\nEnter your login and password\n");
}

}  // namespace

// A contact's addresses without a type, as the silent run types them: home while there is no home
// address or there are both kinds, else work.
TEST(AutomaticEmailTypes, UntypedAddressesBecomeHomeThenWorkThenHome) {
  const auto types = [](std::vector<std::string> given) {
    const std::vector<std::string> addresses(given.size(), "someone@example.org");
    return AutomaticEmailTypes(EmailTypesQuestion{"Ann Lee", "", addresses, std::move(given)});
  };
  EXPECT_EQ(types({"", "W", ""}), (EmailTypesAnswer{{"H", "W", "H"}, EMAIL_ALWAYS_ASK}));
  EXPECT_EQ(types({"", ""}), (EmailTypesAnswer{{"H", "W"}, EMAIL_ALWAYS_ASK}));
  EXPECT_EQ(types({"", "", "", ""}), (EmailTypesAnswer{{"H", "W", "H", "H"}, EMAIL_ALWAYS_ASK}));
  EXPECT_EQ(types({"H", ""}), (EmailTypesAnswer{{"H", "W"}, EMAIL_ALWAYS_ASK}));
  EXPECT_EQ(types({"W", "H"}), (EmailTypesAnswer{{"W", "H"}, EMAIL_ALWAYS_ASK}));
  // Lists of different lengths: nothing changes.
  const EmailTypesQuestion uneven{"Ann Lee", "", {"a@example.org", "b@example.org"}, {""}};
  EXPECT_EQ(AutomaticEmailTypes(uneven).types, std::vector<std::string>{""});
}

TEST(HeadlessPrompt, EmailQuestionIsWrittenAndAnsweredAutomatically) {
  std::ostringstream out;
  HeadlessPrompt prompt(out);
  const EmailTypesQuestion question{"Ann Lee", "annie", {"a@example.org", "b@example.org"}, {"", ""}};
  EXPECT_EQ(prompt.AskEmailTypes(question), (EmailTypesAnswer{{"H", "W"}, EMAIL_ALWAYS_ASK}));
  EXPECT_EQ(out.str(), "The email address(es) of the following contact have been modified:\nAnn Lee [annie ]\n");
  MessageOnlyPrompt plain;
  EXPECT_EQ(plain.AskEmailTypes(question), AutomaticEmailTypes(question));
}
