// The buffers the library hands to its callers: root buffers and buffers linked to a root, all
// freed with their root, with a refused (not crashing) free of anything that is not a live root.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/wab/WabApi.h"

// Thread-safe. Buffers still allocated when the allocator goes are freed with it: they live as
// long as the allocator object and every library object that allocates for its callers.
class WabAllocator {
 public:
  // Largest single buffer; larger requests fail with MAPI_E_NOT_ENOUGH_MEMORY.
  static constexpr std::size_t kMaxBufferBytes = std::size_t(256) << 20;

  HRESULT Allocate(std::size_t cb, void** buffer);
  HRESULT AllocateMore(std::size_t cb, void* object, void** buffer);
  HRESULT Free(void* buffer);
  ULONG Outstanding() const;

  // Throwing forms for the library's own use (WabFailure with the result code).
  void* AllocateOrThrow(std::size_t cb);
  void* AllocateMoreOrThrow(std::size_t cb, void* object);

 private:
  using Block = std::unique_ptr<std::byte[]>;
  struct Root {
    Block memory;
    std::vector<Block> linked;
  };
  static Block NewBlock(std::size_t cb);
  // A zero-filled buffer of `cb` bytes: a root when `linkTo` is empty, else linked to the root
  // that *linkTo is or belongs to (MAPI_E_INVALID_PARAMETER when it is neither).
  HRESULT NewBuffer(std::size_t cb, std::optional<void*> linkTo, void** buffer);

  mutable std::mutex mMutex;
  std::unordered_map<void*, Root> mRoots;
  std::unordered_map<void*, void*> mLinkedToRoot;
};

// A root buffer being filled for a caller: freed on destruction unless handed over with Release().
class OwnedBuffer {
 public:
  OwnedBuffer(std::shared_ptr<WabAllocator> allocator, std::size_t cb);
  ~OwnedBuffer();
  OwnedBuffer(const OwnedBuffer&) = delete;
  OwnedBuffer& operator=(const OwnedBuffer&) = delete;

  void* Get() const { return mBuffer; }
  template <class T>
  T* As() const { return static_cast<T*>(mBuffer); }
  // A zero-filled buffer freed with this one.
  void* More(std::size_t cb) { return mAllocator->AllocateMoreOrThrow(cb, mBuffer); }
  // Hands the buffer to the caller, who frees it.
  void* Release();

 private:
  std::shared_ptr<WabAllocator> mAllocator;
  void* mBuffer = nullptr;
};

// IWABObject over a shared allocator.
std::shared_ptr<WabAllocator> NewAllocator();
IWABObject* NewAllocatorObject(std::shared_ptr<WabAllocator> allocator);
