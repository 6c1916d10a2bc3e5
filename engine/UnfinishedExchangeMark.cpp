// The unfinished-exchange mark of a link.
#include "engine/UnfinishedExchangeMark.h"

#include <sys/stat.h>

#include <cstdio>

#include "common/AtomicFile.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"

namespace {
constexpr const char* kOperation = "SyncDatabase";
}  // namespace

UnfinishedExchangeMark::UnfinishedExchangeMark(const CConf& conf, const CSyncLink& link)
    : mPath(conf.ConfigFolder() + link.LocalFileName() + kExtension) {}

bool UnfinishedExchangeMark::IsSet() const {
  struct stat info {};
  return ::stat(mPath.c_str(), &info) == 0;
}

bool UnfinishedExchangeMark::Set() const {
  std::string error;
  if (WriteFileAtomically(mPath, "exchange started\n", 0600, &error)) return true;
  LogError(kOperation, "Cannot write " + mPath + ": " + error);
  return false;
}

void UnfinishedExchangeMark::Clear() const { std::remove(mPath.c_str()); }
