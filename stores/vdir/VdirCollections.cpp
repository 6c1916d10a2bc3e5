// The collections offered for a vdir link: the root's folders and the tools' configured ones.
#include "stores/vdir/VdirCollections.h"

#include <glob.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/SyncDataType.h"
#include "stores/vdir/VdirStore.h"

namespace {

namespace fs = std::filesystem;

std::string Trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '"' || c == '\''; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  return std::string(first, text.end());
}

// The values of the "path = ..." lines of a configuration file, "~" expanded and globs matched.
std::vector<std::string> ConfiguredPaths(const std::string& file) {
  std::vector<std::string> paths;
  std::ifstream in(file);
  const char* home = std::getenv("HOME");
  for (std::string line; std::getline(in, line);) {
    line = Trimmed(line);
    if (line.rfind("path", 0) != 0) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || Trimmed(line.substr(4, equals - 4)) != "") continue;
    std::string value = Trimmed(line.substr(equals + 1));
    if (value.rfind("~/", 0) == 0 && home != nullptr) value = std::string(home) + value.substr(1);
    glob_t matches{};
    if (::glob(value.c_str(), GLOB_NOSORT, nullptr, &matches) == 0) {
      for (std::size_t i = 0; i < matches.gl_pathc; ++i) paths.emplace_back(matches.gl_pathv[i]);
    }
    ::globfree(&matches);
  }
  return paths;
}

const char* ToolConfig(int dataType) {
  switch (dataType) {
    case DATA_TYPE_EVENTS: return "khal/config";
    case DATA_TYPE_TASKS: return "todoman/config.py";
    default: return "khard/khard.conf";
  }
}

}  // namespace

std::string UserConfigHome() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return config;
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? std::string(home) + "/.config" : std::string();
}

std::vector<VdirCollectionChoice> ListVdirCollections(const std::string& root, int dataType, const std::string& configHome) {
  std::vector<VdirCollectionChoice> choices;
  std::vector<std::string> seen;
  const auto add = [&](const std::string& name, const std::string& path) {
    std::error_code error;
    const std::string canonical = fs::weakly_canonical(VdirStore::CollectionPath(root, path, dataType), error).string();
    if (std::find(seen.begin(), seen.end(), canonical) != seen.end()) return;
    seen.push_back(canonical);
    choices.push_back({name, path});
  };
  const std::string defaultPath = fs::path(VdirStore::CollectionPath(root, "", dataType)).filename().string();
  add(defaultPath, defaultPath);
  std::error_code error;
  std::vector<std::string> folders;
  for (fs::directory_iterator entry(root, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    std::error_code typeError;
    if (name.front() != '.' && entry->is_directory(typeError)) folders.push_back(name);
  }
  std::sort(folders.begin(), folders.end());
  for (const std::string& folder : folders) add(folder, folder);
  if (!configHome.empty()) {
    for (std::string path : ConfiguredPaths(configHome + "/" + ToolConfig(dataType))) {
      while (path.size() > 1 && path.back() == '/') path.pop_back();
      if (fs::is_directory(path, error)) add(path, path);
    }
  }
  return choices;
}
