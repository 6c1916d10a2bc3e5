// Parsing of the installer's command line.
#include "platform/installer/InstallerCommandLine.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Uppercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

bool IsLogSwitch(const std::string& name) {
  return name.size() >= 1 && name[0] == 'l' && name.find_first_not_of("iwearucmopvx*+!", 1) == std::string::npos;
}

}  // namespace

std::optional<InstallerCommandLine> InstallerCommandLine::Parse(const std::vector<std::string>& arguments) {
  InstallerCommandLine line;
  int actions = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool isSwitch = !argument.empty() && (argument[0] == '/' || argument[0] == '-');
    if (!isSwitch) {
      const std::size_t equals = argument.find('=');
      if (equals == std::string::npos || equals == 0) return std::nullopt;
      line.properties[Uppercase(argument.substr(0, equals))] = argument.substr(equals + 1);
      continue;
    }
    const std::string name = Lowercase(argument.substr(1));
    const bool takesValue = name == "i" || name == "package" || name == "x" || name == "uninstall" || IsLogSwitch(name);
    if (takesValue && i + 1 >= arguments.size()) return std::nullopt;
    if (name == "i" || name == "package" || name == "x" || name == "uninstall") {
      line.action = name == "i" || name == "package" ? InstallerAction::Install : InstallerAction::Remove;
      line.subject = arguments[++i];
      ++actions;
    } else if (IsLogSwitch(name)) {
      line.logPath = arguments[++i];
    } else if (name == "passive" || name == "quiet" || name == "q" || name == "qn") {
      line.passive = true;
    } else {
      return std::nullopt;
    }
  }
  if (actions != 1) return std::nullopt;
  return line;
}

std::string InstallerCommandLine::Property(const std::string& name) const {
  const auto found = properties.find(name);
  return found != properties.end() ? found->second : std::string();
}
