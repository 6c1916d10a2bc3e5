// The update helper's command line: switch names mapped to their values.
#pragma once

#include <map>
#include <string>
#include <vector>

// Arguments are read left to right. One that begins with "/" or "-" is a switch named by the rest,
// unless the rest holds a "/": that is an absolute path (the program's path after "/path"), read
// as a value. The next argument that is no switch is its value, and a switch followed by another switch or by
// the end gets the empty value. A value that follows no switch is ignored. Names are compared
// exactly (case-sensitive); the first occurrence of a name is kept.
class CmdLineParser {
 public:
  // `arguments` without the program's name.
  explicit CmdLineParser(const std::vector<std::string>& arguments);

  bool Has(const std::string& name) const { return mSwitches.count(name) != 0; }
  // The value of the switch, or "" when it is absent.
  std::string Value(const std::string& name) const;
  const std::map<std::string, std::string>& Switches() const { return mSwitches; }

 private:
  std::map<std::string, std::string> mSwitches;
};
