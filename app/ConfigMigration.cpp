// Copies the configuration file, the anchor files and the index files of an older installation.
#include "app/ConfigMigration.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "common/AtomicFile.h"
#include "config/CConf.h"
#include "config/CLog.h"

namespace {

constexpr const char* kOperation = "MigrateConfiguration";

bool CopyFileInto(const std::string& sourcePath, const std::string& targetFolder, const std::string& name) {
  std::string content;
  std::string error;
  if (!ReadWholeFile(sourcePath, content, kMaxMigratedFileSize, &error) ||
      !WriteFileAtomically(targetFolder + name, content, 0600, &error)) {
    LogError(kOperation, sourcePath + ": " + error);
    return false;
  }
  return true;
}

// Regular files of `folder` whose name ends in `extension`, sorted by name.
std::vector<std::string> FilesWithExtension(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.size() >= extension.size() && name.ends_with(extension) && it->is_regular_file(error)) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool MigrateConfiguration(const std::string& sourceFolder, const std::string& targetFolder) {
  if (!CopyFileInto(sourceFolder + CConf::kFileName, targetFolder, CConf::kFileName)) return false;
  for (const char* extension : {".anc", ".dat"}) {
    for (const std::string& name : FilesWithExtension(sourceFolder, extension)) {
      if (!CopyFileInto(sourceFolder + name, targetFolder, name)) return true;
    }
  }
  return true;
}
