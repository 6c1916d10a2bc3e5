// The codec's global state made an object: a workspace budget and the instances it created,
// each named by a 16-bit handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "syncml/SmlHandlers.h"
#include "syncml/SmlInstance.h"
#include "syncml/SmlResult.h"

using SmlHandle = std::uint16_t;  // 0 names no instance

// Construction is the codec's initialization with a total workspace budget, destruction its
// shutdown (it terminates the instances still alive). The codec owns its instances; a pointer
// from Instance() is valid until that handle is terminated or the codec is destroyed. Not
// thread-safe; one codec per session is the intended use.
class SmlCodec {
 public:
  explicit SmlCodec(std::size_t workspaceBudget) : mBudget(workspaceBudget) {}
  SmlCodec(const SmlCodec&) = delete;
  SmlCodec& operator=(const SmlCodec&) = delete;

  // Creates an instance whose workspace is taken from the budget. SML_ERR_INVALID_ARGUMENT for
  // a workspace of size 0; SML_ERR_OUT_OF_MEMORY when the budget (or memory, or the supply of
  // handles) does not allow it.
  SmlRet CreateInstance(SmlInstanceOptions options, SmlHandlers handlers, void* userContext, SmlHandle& handle);
  // Frees the instance and gives its workspace back to the budget; SML_ERR_INVALID_HANDLE when
  // no instance has this handle.
  SmlRet TerminateInstance(SmlHandle handle);
  // The instance of `handle`, or nullptr.
  SmlInstance* Instance(SmlHandle handle) const;

  std::size_t FreeBudget() const { return mBudget - mUsed; }

 private:
  bool NextFreeHandle(SmlHandle& handle);

  std::size_t mBudget;
  std::size_t mUsed = 0;
  SmlHandle mLastHandle = 0;
  std::map<SmlHandle, std::unique_ptr<SmlInstance>> mInstances;
};
