// The command line grammar: prefixes, pending switches, first occurrence, stray values, numbers.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "app/CSyncCommandLineInfo.h"

namespace {

using Switches = std::map<std::string, std::string>;

Switches Parse(const std::vector<std::string>& arguments) {
  CSyncCommandLineInfo info;
  info.Parse(arguments);
  return info.Switches();
}

struct GrammarCase {
  const char* name;
  std::vector<std::string> arguments;
  Switches expected;
};

class CommandLineGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(CommandLineGrammar, RecordsTheExpectedSwitches) { EXPECT_EQ(Parse(GetParam().arguments), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineGrammar,
    ::testing::Values(
        GrammarCase{"Nothing", {}, {}},
        GrammarCase{"SwitchWithValue", {"/status", "1603"}, {{"status", "1603"}}},
        GrammarCase{"DashIsASwitchPrefixLikeSlash", {"-status", "1603"}, {{"status", "1603"}}},
        GrammarCase{"LastSwitchRecordedEmpty", {"/uninstall"}, {{"uninstall", ""}}},
        GrammarCase{"PendingSwitchRecordedEmptyByTheNext", {"/silent", "/status", "5"}, {{"silent", ""}, {"status", "5"}}},
        GrammarCase{"ValueAfterCompletedSwitchIgnored", {"/status", "3", "extra"}, {{"status", "3"}}},
        GrammarCase{"StrayLeadingValueIgnored", {"stray", "/silent"}, {{"silent", ""}}},
        GrammarCase{"FirstOccurrenceWins", {"/status", "3", "/status", "0"}, {{"status", "3"}}},
        GrammarCase{"FirstEmptyOccurrenceAlsoWins", {"/status", "/status", "7"}, {{"status", ""}}},
        GrammarCase{"NamesAreCaseSensitive", {"/Silent", "/silent"}, {{"Silent", ""}, {"silent", ""}}},
        GrammarCase{"OnlyTheFirstCharacterIsAPrefix", {"--silent"}, {{"-silent", ""}}},
        GrammarCase{"BarePrefixIsAnEmptySwitch", {"/", "x"}, {{"", "x"}}},
        GrammarCase{"ValueMayHoldSpacesAndPrefixesInside", {"/uninstall", "{A B}/x"}, {{"uninstall", "{A B}/x"}}},
        GrammarCase{"UnknownSwitchesAreKept", {"/foo", "bar", "/silent"}, {{"foo", "bar"}, {"silent", ""}}},
        GrammarCase{"ReportFileMayBeAnAbsolutePath", {"/report", "/home/u/r.tar.gz", "/silent"}, {{"report", "/home/u/r.tar.gz"}, {"silent", ""}}}),
    [](const ::testing::TestParamInfo<GrammarCase>& param) { return std::string(param.param.name); });

TEST(CommandLineInfo, ReadsStatusWithTheLeadingDecimalConversion) {
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("1603"), 1603);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("  42abc"), 42);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("+7"), 7);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("abc"), 0);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt(""), 0);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("0x10"), 0);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("99999999999999999999"), INT_MAX);
  EXPECT_EQ(CSyncCommandLineInfo::LeadingInt("-99999999999999999999"), INT_MIN);
}

TEST(CommandLineInfo, AnswersValuesOfPresentAndAbsentSwitches) {
  CSyncCommandLineInfo info;
  info.Parse({"/status", "12x", "/uninstall"});
  EXPECT_TRUE(info.Has("status"));
  EXPECT_EQ(info.IntValue("status"), 12);
  EXPECT_TRUE(info.Has("uninstall"));
  EXPECT_EQ(info.Value("uninstall"), "");
  EXPECT_FALSE(info.Has("silent"));
  EXPECT_EQ(info.IntValue("silent"), 0);
}

// "/restore LINK [RUN]" takes a further value; the actions are checked before anything runs.
TEST(CommandLineInfo, ActionsTakeTheirValuesAndABadLineSaysWhy) {
  const auto parsed = [](const std::vector<std::string>& arguments) {
    CSyncCommandLineInfo info;
    info.Parse(arguments);
    return info;
  };
  const CSyncCommandLineInfo restore = parsed({"/restore", "2", "3"});
  EXPECT_EQ(restore.Action(), "restore");
  EXPECT_EQ(restore.Values("restore"), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(restore.RestoreLink(), 2);
  EXPECT_EQ(restore.RestoreRun(), 3);
  EXPECT_EQ(restore.ActionError(), "");
  EXPECT_EQ(parsed({"/restore", "2"}).RestoreRun(), 1);
  // A value after a switch without values belongs to nothing.
  EXPECT_TRUE(parsed({"/silent", "/status", "3", "4"}).Values("silent").empty());
  EXPECT_EQ(parsed({"/preview"}).ActionError(), "");
  EXPECT_EQ(parsed({"/report", "r.tar.gz"}).ActionError(), "");
  EXPECT_EQ(parsed({"/silent"}).ActionError(), "");
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"/restore"}, {"/restore", "x"}, {"/restore", "1", "0"}, {"/restore", "1", "2", "3"}, {"/restore", "-1"},
           {"/report"}, {"/report", "a", "b"}, {"/preview", "x"}, {"/preview", "/report", "r"}}) {
    EXPECT_NE(parsed(bad).ActionError(), "") << bad[0] << " " << bad.size();
  }
}

}  // namespace
