// Per-user data folder (XDG base directories) and the program's own folder.
#include "platform/shell/UserFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates one folder level 0700; true when it exists as a folder afterwards.
bool CreateLevel(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  return errno == EEXIST && IsFolder(path);
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry {};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

// The folder holds the password file: keep it private to its owner.
void NarrowToOwner(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
      (info.st_mode & 077) != 0)
    ::chmod(path.c_str(), 0700);
}

}  // namespace

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

bool CreateFolderPath(const std::string& path) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string level = path.substr(0, slash);
    if (!CreateLevel(level)) return false;
  }
  return path.back() == '/' || CreateLevel(path);
}

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    base = WithSlash(home) + ".local/share";
  }
  base = WithSlash(base);
  return CreateFolderPath(base) ? base : std::string();
}

std::string MakeUserFolder(const std::string& base, const std::string& company, const std::string& product) {
  if (base.empty()) return {};
  std::string folder = WithSlash(base);
  bool created = true;
  for (const std::string* name : {&company, &product}) {
    if (name->empty()) continue;
    folder += *name + "/";
    if (created) created = CreateLevel(folder.substr(0, folder.size() - 1));
  }
  if (created && !product.empty()) NarrowToOwner(folder);
  return folder;
}

bool RemoveAutostartEntry(const std::string& programName) {
  if (programName.empty() || programName.find('/') != std::string::npos) return true;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string config;
  if (xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return true;
    config = WithSlash(home) + ".config";
  }
  const std::string entry = WithSlash(config) + "autostart/" + programName + ".desktop";
  return ::unlink(entry.c_str()) == 0 || errno == ENOENT;
}

namespace {

// The target of the symbolic link `link`; empty when it cannot be read.
std::string LinkTarget(const std::string& link) {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
    if (buffer.size() >= (size_t(1) << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ProgramFile() { return LinkTarget("/proc/self/exe"); }

std::string ProgramFileOf(long pid) { return pid > 0 ? LinkTarget("/proc/" + std::to_string(pid) + "/exe") : std::string(); }

std::string ProgramFolder() {
  const std::string path = ProgramFile();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
