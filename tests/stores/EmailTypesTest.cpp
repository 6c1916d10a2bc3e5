// The e-mail type rules both application stores apply while reading their contacts.
#include "stores/EmailTypes.h"

#include <gtest/gtest.h>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "tests/support/TempDir.h"

namespace {

using Types = std::vector<std::string>;

// Answers the e-mail question with `answer` (or a cancel) and keeps what it was asked.
class EmailPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons, PromptKind) override { return PromptAnswer::Ok; }
  bool AskLogin(LoginRequest&) override { return false; }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override {
    questions.push_back(question);
    return answer;
  }

  std::optional<EmailTypesAnswer> answer;
  std::vector<EmailTypesQuestion> questions;
};

class EmailTypes : public ::testing::Test {
 protected:
  EmailTypesOutcome Resolve(const Types& addresses, Types& types, bool firstSync = false) {
    return ResolveEmailTypes(mConf, mPrompt, firstSync, "Nora Noted", "nora", addresses, types);
  }

  TempDir mDir;
  CConf mConf{mDir.Path()};
  EmailPrompt mPrompt;
};

TEST_F(EmailTypes, AModeOtherThanAskTypesTheUnknownAddressesWithoutAQuestion) {
  for (const auto& [mode, expected] : {std::pair{EMAIL_UNKNOWN_PERSONAL, Types{"H", "W", "W", "H"}},
                                       std::pair{EMAIL_UNKNOWN_BUSINESS, Types{"W", "W", "W", "H"}}}) {
    mConf.SetEmailManagementMode(mode);
    Types types{"", "W", "", "H"};
    EXPECT_EQ(Resolve({"a@x", "b@x", "", "d@x"}, types), EmailTypesOutcome::Changed);
    EXPECT_EQ(types, expected) << mode;
  }
  Types typed{"H", "W"};
  EXPECT_EQ(Resolve({"a@x", "b@x"}, typed), EmailTypesOutcome::Unchanged);
  EXPECT_TRUE(mPrompt.questions.empty());
}

// Home first, then work, then home for the rest; an existing work address counts.
TEST_F(EmailTypes, ASilentRunTypesHomeFirstThenWorkWithoutAQuestion) {
  mConf.SetSilent(true);
  Types types{"", "W", ""};
  EXPECT_EQ(Resolve({"a@x", "b@x", "c@x"}, types), EmailTypesOutcome::Changed);
  EXPECT_EQ(types, (Types{"H", "W", "H"}));
  Types untyped{"", ""};
  EXPECT_EQ(Resolve({"a@x", "b@x"}, untyped), EmailTypesOutcome::Changed);
  EXPECT_EQ(untyped, (Types{"H", "W"}));
  EXPECT_TRUE(mPrompt.questions.empty());
  EXPECT_EQ(mConf.EmailManagementMode(), EMAIL_ALWAYS_ASK);
}

// A link's first synchronization uploads a whole address book: its contacts are typed as in a
// silent run, not asked about one by one; later runs ask again.
TEST_F(EmailTypes, AFirstSyncTypesHomeFirstThenWorkWithoutAQuestion) {
  Types types{"", "", ""};
  EXPECT_EQ(Resolve({"a@x", "b@x", "c@x"}, types, true), EmailTypesOutcome::Changed);
  EXPECT_EQ(types, (Types{"H", "W", "H"}));
  EXPECT_TRUE(mPrompt.questions.empty());
  EXPECT_EQ(mConf.EmailManagementMode(), EMAIL_ALWAYS_ASK);
  mPrompt.answer = EmailTypesAnswer{{"W"}, EMAIL_ALWAYS_ASK};
  Types later{""};
  EXPECT_EQ(Resolve({"d@x"}, later), EmailTypesOutcome::Changed);
  EXPECT_EQ(mPrompt.questions.size(), 1u);
}

// The question comes with the types set so far (the empty address before the first unknown one
// is work already); the answer's mode is kept for the rest of the run.
TEST_F(EmailTypes, TheQuestionsAnswerSetsTheTypesAndTheMode) {
  mPrompt.answer = EmailTypesAnswer{{"W", "W", "H"}, EMAIL_UNKNOWN_BUSINESS};
  Types types{"", "", ""};
  EXPECT_EQ(Resolve({"", "b@x", "c@x"}, types), EmailTypesOutcome::Changed);
  ASSERT_EQ(mPrompt.questions.size(), 1u);
  EXPECT_EQ(mPrompt.questions[0].types, (Types{"W", "", ""}));
  EXPECT_EQ(mPrompt.questions[0].displayName, "Nora Noted");
  EXPECT_EQ(types, (Types{"W", "W", "H"}));
  EXPECT_EQ(mConf.EmailManagementMode(), EMAIL_UNKNOWN_BUSINESS);

  Types next{"", "H"};
  EXPECT_EQ(Resolve({"d@x", "e@x"}, next), EmailTypesOutcome::Changed);
  EXPECT_EQ(next, (Types{"W", "H"}));
  EXPECT_EQ(mPrompt.questions.size(), 1u);
}

TEST_F(EmailTypes, ACancelledQuestionOrListsOfDifferentLengthsChangeNothing) {
  Types types{"", ""};
  EXPECT_EQ(Resolve({"", "b@x"}, types), EmailTypesOutcome::Cancelled);
  EXPECT_EQ(types, (Types{"", ""}));
  EXPECT_EQ(mConf.EmailManagementMode(), EMAIL_ALWAYS_ASK);
  Types shorter{""};
  EXPECT_EQ(Resolve({"a@x", "b@x"}, shorter), EmailTypesOutcome::Unchanged);
  EXPECT_EQ(shorter, Types{""});
  EXPECT_EQ(mPrompt.questions.size(), 1u);
}

}  // namespace
