// The helper's switch grammar.
#include "updater/CmdLineParser.h"

#include <optional>

namespace {

bool IsSwitch(const std::string& argument) {
  return !argument.empty() && (argument[0] == '/' || argument[0] == '-') && argument.find('/', 1) == std::string::npos;
}

}  // namespace

CmdLineParser::CmdLineParser(const std::vector<std::string>& arguments) {
  std::optional<std::string> pending;
  for (const std::string& argument : arguments) {
    if (IsSwitch(argument)) {
      if (pending) mSwitches.emplace(*pending, std::string());
      pending = argument.substr(1);
    } else if (pending) {
      mSwitches.emplace(*pending, argument);
      pending.reset();
    }
  }
  if (pending) mSwitches.emplace(*pending, std::string());
}

std::string CmdLineParser::Value(const std::string& name) const {
  const auto found = mSwitches.find(name);
  return found != mSwitches.end() ? found->second : std::string();
}
