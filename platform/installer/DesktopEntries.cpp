// Desktop entries of an installation in the user's applications folder.
#include "platform/installer/DesktopEntries.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "common/AtomicFile.h"
#include "platform/shell/UserFolders.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kExtension = ".desktop";
constexpr std::size_t kMaxTemplateBytes = 64 * 1024;

// A path as one Exec argument: quoted, with `"`, `` ` ``, `$` and `\` escaped for the argument
// rules, then every `\` doubled for the string rules, and `%` doubled for the field codes.
std::string ExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
      quoted += c;
    } else if (c == '\\') {
      quoted += "\\\\\\\\";
    } else if (c == '%') {
      quoted += "%%";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

// A path as a string value: `\` doubled.
std::string StringValue(const std::string& path) {
  std::string value;
  for (const char c : path) {
    value += c;
    if (c == '\\') value += '\\';
  }
  return value;
}

// The template's first word of Exec (the program), its arguments after it.
std::pair<std::string, std::string> ProgramAndArguments(const std::string& exec) {
  const std::size_t space = exec.find(' ');
  if (space == std::string::npos) return {exec, ""};
  return {exec.substr(0, space), exec.substr(space)};
}

std::string FileNameOf(const std::string& name) { return fs::path(name).filename().string(); }

}  // namespace

std::vector<std::string> DesktopEntries::TemplatesIn(const std::string& programFolder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(programFolder, error)) {
    const std::string name = item.path().filename().string();
    if (item.is_regular_file(error) && item.path().extension() == kExtension && name.front() != '.') names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> DesktopEntries::ForInstallation(const std::string& templateText, const std::string& programFolder) {
  if (programFolder.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  std::istringstream in(templateText);
  std::string entry;
  bool hasExec = false;
  bool inMainGroup = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') inMainGroup = line == "[Desktop Entry]";
    const auto value = [&line](const char* key) {
      const std::string prefix = std::string(key) + "=";
      return line.rfind(prefix, 0) == 0 ? std::optional<std::string>(line.substr(prefix.size())) : std::nullopt;
    };
    if (!inMainGroup) {
      entry += line + "\n";
    } else if (const auto exec = value("Exec")) {
      const auto [program, arguments] = ProgramAndArguments(*exec);
      entry += "Exec=" + ExecArgument(programFolder + FileNameOf(program)) + arguments + "\n";
      hasExec = !program.empty();
    } else if (const auto tryExec = value("TryExec")) {
      entry += "TryExec=" + StringValue(programFolder + FileNameOf(*tryExec)) + "\n";
    } else if (const auto icon = value("Icon"); icon && !icon->empty() && icon->front() != '/') {
      entry += "Icon=" + StringValue(programFolder + FileNameOf(*icon) + ".png") + "\n";
    } else {
      entry += line + "\n";
    }
  }
  if (!hasExec) return std::nullopt;
  return entry;
}

std::vector<std::string> DesktopEntries::Install(const std::string& programFolder, const std::string& applicationsFolder) {
  std::vector<std::string> failures;
  const std::vector<std::string> names = TemplatesIn(programFolder);
  if (names.empty()) return failures;
  if (!CreateFolderPath(applicationsFolder)) return {"cannot create " + applicationsFolder};
  for (const std::string& name : names) {
    std::string text;
    std::optional<std::string> entry;
    if (ReadWholeFile(programFolder + name, text, kMaxTemplateBytes)) entry = ForInstallation(text, programFolder);
    std::string error;
    if (!entry) {
      failures.push_back(name + ": not a desktop entry with a program to start");
    } else if (!WriteFileAtomically(applicationsFolder + name, *entry, 0644, &error)) {
      failures.push_back(applicationsFolder + name + ": " + error);
    }
  }
  return failures;
}

std::vector<std::string> DesktopEntries::Remove(const std::vector<std::string>& names, const std::string& programFolder,
                                                const std::string& applicationsFolder) {
  std::vector<std::string> failures;
  for (const std::string& name : names) {
    const std::string path = applicationsFolder + FileNameOf(name);
    std::string text;
    if (!ReadWholeFile(path, text, kMaxTemplateBytes)) continue;
    // Ours when its Exec starts the program in this folder, whatever else the user changed.
    std::string ownExec = "\nExec=" + ExecArgument(programFolder);
    ownExec.pop_back();  // the closing quote: the program's name follows the folder
    if (("\n" + text).find(ownExec) == std::string::npos) continue;
    std::error_code error;
    if (!fs::remove(path, error) || error) failures.push_back("cannot remove " + path + ": " + error.message());
  }
  return failures;
}
