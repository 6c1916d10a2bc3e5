// The held server deletions of a link: one identifier a line.
#include "engine/HeldDeletions.h"

#include <cstdio>
#include <sstream>

#include "common/AtomicFile.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"

namespace {

constexpr const char* kExtension = ".held";
constexpr std::size_t kMaxFileBytes = std::size_t(64) << 20;

}  // namespace

HeldDeletions::HeldDeletions(const CConf& conf, const CSyncLink& link)
    : mPath(conf.ConfigFolder() + link.LocalFileName() + kExtension) {}

std::vector<std::string> HeldDeletions::Load() const {
  std::vector<std::string> ids;
  std::string content;
  if (!ReadWholeFile(mPath, content, kMaxFileBytes)) return ids;
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) ids.push_back(line);
  }
  return ids;
}

bool HeldDeletions::Save(const std::vector<std::string>& ids) const {
  if (ids.empty()) {
    std::remove(mPath.c_str());
    return true;
  }
  std::string content;
  for (const std::string& id : ids) content += id + '\n';
  std::string error;
  if (WriteFileAtomically(mPath, content, 0600, &error)) return true;
  LogError("HeldDeletions", "Cannot write " + mPath + ": " + error);
  return false;
}
