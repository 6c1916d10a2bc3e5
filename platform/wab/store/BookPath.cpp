// The per-user address book path and its folder.
#include "platform/wab/store/BookPath.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/wab/store/WabFailure.h"

namespace {

std::string NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = NonEmptyVariable("HOME");
  if (!home.empty()) return home;
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
  throw WabFailure(MAPI_E_NOT_FOUND);
}

// mkdir -p with owner-only access for the folders it makes.
void MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string prefix = folder.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) throw WabFailure(MAPI_E_NO_ACCESS);
    if (slash == std::string::npos) break;
  }
}

}  // namespace

std::string UserBookPath() {
  if (std::string path = NonEmptyVariable(kBookPathVariable); !path.empty()) return path;
  std::string dataHome = NonEmptyVariable("XDG_DATA_HOME");
  if (dataHome.empty() || dataHome[0] != '/') dataHome = HomeFolder() + "/.local/share";  // relative values are invalid
  const std::string folder = dataHome + "/wab";
  MakeFolders(folder);
  return folder + "/addressbook.db";
}
