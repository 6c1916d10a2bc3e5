// The program's command line: "/switch value" pairs, read token by token.
#pragma once

#include <map>
#include <string>
#include <vector>

// Grammar: a token that begins with "/" or "-" is a switch (prefix removed); it becomes pending,
// and a switch still pending before it is recorded with an empty value; a switch that is the last
// token is recorded with an empty value. Any other token is a value: it completes the pending
// switch, or, when none is pending, is a further value of the switch before it ("/restore 2 1");
// a value before any switch is ignored. The token after "report" is its value whatever it begins
// with (an absolute path). A switch already recorded keeps its first values.
// Switch names are compared exactly (case-sensitive).
class CSyncCommandLineInfo {
 public:
  static constexpr const char* kUninstall = "uninstall";
  static constexpr const char* kSilent = "silent";
  static constexpr const char* kStatus = "status";
  // The actions that need no window: "/preview", "/restore LINK [RUN]", "/report FILE".
  static constexpr const char* kPreview = "preview";
  static constexpr const char* kRestore = "restore";
  static constexpr const char* kReport = "report";
  // "--help" and "--version" (their first dash is the switch prefix).
  static constexpr const char* kHelp = "-help";
  static constexpr const char* kVersion = "-version";

  // Applies the grammar to `arguments` (the program's arguments without its own name).
  void Parse(const std::vector<std::string>& arguments);
  // Applies the grammar to one token; `last` tells that no token follows.
  void ParseParam(const std::string& token, bool last);

  bool Has(const std::string& name) const { return mSwitches.count(name) != 0; }
  // The value of a switch; empty when absent or given without a value.
  std::string Value(const std::string& name) const;
  // The value read with the leading-decimal conversion (white space, sign, digits; anything else
  // ends the number; no number reads as 0; out of range clamps to the int range).
  int IntValue(const std::string& name) const;
  const std::map<std::string, std::string>& Switches() const { return mSwitches; }
  // Every value of a switch in order: the first (Value) and the further ones.
  std::vector<std::string> Values(const std::string& name) const;

  // The action switch given ("" for none).
  std::string Action() const;
  // Why the command line cannot be carried out ("" when it can): more than one action, an action
  // without the values it needs or with values it does not take.
  std::string ActionError() const;
  // "/restore LINK [RUN]": the link's number, and the run counted back from the last (1 when not
  // given); 0 when not a number from 1 up.
  int RestoreLink() const;
  int RestoreRun() const;

  // The leading-decimal conversion itself.
  static int LeadingInt(const std::string& text);

  // "--help" (or "-h", "/?") and "--version": the program writes the usage or the version text
  // to standard output and ends, before anything else of start-up (no display needed).
  bool WantsHelp() const { return Has(kHelp) || Has("h") || Has("?"); }
  bool WantsVersion() const { return Has(kVersion); }
  static std::string UsageText();
  static std::string VersionText();

 private:
  void Record(const std::string& name, const std::string& value);

  std::map<std::string, std::string> mSwitches;
  std::map<std::string, std::vector<std::string>> mFurtherValues;
  // The switch the last value went to, which further values join.
  std::string mLastSwitch;
  std::string mPendingSwitch;
  bool mHasPending = false;
};
