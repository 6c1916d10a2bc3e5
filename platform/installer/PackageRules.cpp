// Entry path and link checks of the installer.
#include "platform/installer/PackageRules.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The components of a relative path, "." and empty ones dropped.
std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty() && part != ".") parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

bool IsInside(const fs::path& candidate, const fs::path& root) {
  auto rootPart = root.begin();
  auto part = candidate.begin();
  for (; rootPart != root.end(); ++rootPart, ++part) {
    if (rootPart->empty()) continue;  // a trailing separator of the root
    if (part == candidate.end() || *part != *rootPart) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> SafeEntryPath(std::string_view raw) {
  if (raw.empty() || raw.front() == '/' || raw.find('\0') != std::string_view::npos) return std::nullopt;
  std::string path;
  for (std::string_view part : Components(raw)) {
    if (part == "..") return std::nullopt;
    if (!path.empty()) path += '/';
    path += part;
  }
  return path;
}

bool LinkTargetStaysInside(std::string_view entryPath, std::string_view target) {
  if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos) return false;
  std::vector<std::string_view> position = Components(entryPath);
  if (position.empty()) return false;  // the folder itself is no link
  position.pop_back();
  for (std::string_view part : Components(target)) {
    if (part != "..") {
      position.push_back(part);
    } else if (position.empty()) {
      return false;
    } else {
      position.pop_back();
    }
  }
  return true;
}

std::optional<std::string> FindEscapingLink(const std::string& root) {
  std::error_code error;
  const fs::path realRoot = fs::canonical(root, error);
  if (error) return std::string(".");
  for (auto it = fs::recursive_directory_iterator(realRoot, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (!it->is_symlink(error)) continue;
    const fs::path resolved = fs::weakly_canonical(it->path(), error);
    if (error || !IsInside(resolved, realRoot)) return it->path().lexically_relative(realRoot).string();
  }
  if (error) return std::string(".");
  return std::nullopt;
}
