// Workspace budget and handle table of the codec.
#include "syncml/SmlCodec.h"

#include <limits>
#include <new>
#include <utility>

bool SmlCodec::NextFreeHandle(SmlHandle& handle) {
  constexpr std::size_t kHandles = std::numeric_limits<SmlHandle>::max();
  if (mInstances.size() >= kHandles) return false;
  do {
    mLastHandle = static_cast<SmlHandle>(mLastHandle == kHandles ? 1 : mLastHandle + 1);
  } while (mInstances.count(mLastHandle) != 0);
  handle = mLastHandle;
  return true;
}

SmlRet SmlCodec::CreateInstance(SmlInstanceOptions options, SmlHandlers handlers, void* userContext,
                                SmlHandle& handle) {
  handle = 0;
  const std::size_t size = options.workspaceSize;
  if (size == 0) return SML_ERR_INVALID_ARGUMENT;
  if (size > FreeBudget()) return SML_ERR_OUT_OF_MEMORY;
  SmlHandle fresh = 0;
  if (!NextFreeHandle(fresh)) return SML_ERR_OUT_OF_MEMORY;
  try {
    mInstances.emplace(fresh, std::make_unique<SmlInstance>(std::move(options), std::move(handlers), userContext));
  } catch (const std::bad_alloc&) {
    return SML_ERR_OUT_OF_MEMORY;
  }
  mUsed += size;
  handle = fresh;
  return SML_OK;
}

SmlRet SmlCodec::TerminateInstance(SmlHandle handle) {
  const auto found = mInstances.find(handle);
  if (found == mInstances.end()) return SML_ERR_INVALID_HANDLE;
  mUsed -= found->second->WorkspaceSize();
  mInstances.erase(found);
  return SML_OK;
}

SmlInstance* SmlCodec::Instance(SmlHandle handle) const {
  const auto found = mInstances.find(handle);
  return found == mInstances.end() ? nullptr : found->second.get();
}
