// MAPIAllocateBuffer / MAPIAllocateMore / MAPIFreeBuffer semantics over owned blocks.
#include "platform/wab/store/WabAllocator.h"

#include <utility>

#include "platform/wab/store/RefCounted.h"
#include "platform/wab/store/WabFailure.h"

WabAllocator::Block WabAllocator::NewBlock(std::size_t cb) {
  return std::make_unique<std::byte[]>(cb == 0 ? 1 : cb);  // zero-filled; never null
}

HRESULT WabAllocator::Allocate(std::size_t cb, void** buffer) { return NewBuffer(cb, std::nullopt, buffer); }

HRESULT WabAllocator::AllocateMore(std::size_t cb, void* object, void** buffer) { return NewBuffer(cb, object, buffer); }

HRESULT WabAllocator::NewBuffer(std::size_t cb, std::optional<void*> linkTo, void** buffer) {
  if (buffer == nullptr) return MAPI_E_INVALID_PARAMETER;
  *buffer = nullptr;
  if (cb > kMaxBufferBytes) return MAPI_E_NOT_ENOUGH_MEMORY;
  return GuardCall([&] {
    Block block = NewBlock(cb);
    void* address = block.get();
    std::lock_guard lock(mMutex);
    if (!linkTo) {
      mRoots.emplace(address, Root{std::move(block), {}});
    } else {
      // A buffer linked to a linked buffer belongs to the same root.
      void* rootAddress = *linkTo;
      if (auto linked = mLinkedToRoot.find(rootAddress); linked != mLinkedToRoot.end()) rootAddress = linked->second;
      auto root = mRoots.find(rootAddress);
      if (root == mRoots.end()) return MAPI_E_INVALID_PARAMETER;
      mLinkedToRoot.emplace(address, rootAddress);
      root->second.linked.push_back(std::move(block));
    }
    *buffer = address;
    return S_OK;
  });
}

HRESULT WabAllocator::Free(void* buffer) {
  if (buffer == nullptr) return S_OK;
  Root freed;
  {
    std::lock_guard lock(mMutex);
    auto root = mRoots.find(buffer);
    if (root == mRoots.end()) return MAPI_E_INVALID_PARAMETER;
    for (const Block& block : root->second.linked) mLinkedToRoot.erase(block.get());
    freed = std::move(root->second);
    mRoots.erase(root);
  }
  return S_OK;  // `freed` releases the memory outside the lock
}

ULONG WabAllocator::Outstanding() const {
  std::lock_guard lock(mMutex);
  return static_cast<ULONG>(mRoots.size());
}

void* WabAllocator::AllocateOrThrow(std::size_t cb) {
  void* buffer = nullptr;
  const HRESULT hr = Allocate(cb, &buffer);
  if (HrFailed(hr)) throw WabFailure(hr);
  return buffer;
}

void* WabAllocator::AllocateMoreOrThrow(std::size_t cb, void* object) {
  void* buffer = nullptr;
  const HRESULT hr = AllocateMore(cb, object, &buffer);
  if (HrFailed(hr)) throw WabFailure(hr);
  return buffer;
}

OwnedBuffer::OwnedBuffer(std::shared_ptr<WabAllocator> allocator, std::size_t cb)
    : mAllocator(std::move(allocator)), mBuffer(mAllocator->AllocateOrThrow(cb)) {}

OwnedBuffer::~OwnedBuffer() {
  if (mBuffer != nullptr) mAllocator->Free(mBuffer);
}

void* OwnedBuffer::Release() {
  return std::exchange(mBuffer, nullptr);
}

namespace {

class WabObject final : public RefCounted<IWABObject> {
 public:
  explicit WabObject(std::shared_ptr<WabAllocator> allocator) : mAllocator(std::move(allocator)) {}

  HRESULT AllocateBuffer(ULONG cb, void** lppBuffer) override { return mAllocator->Allocate(cb, lppBuffer); }
  HRESULT AllocateMore(ULONG cb, void* lpObject, void** lppBuffer) override {
    return mAllocator->AllocateMore(cb, lpObject, lppBuffer);
  }
  HRESULT FreeBuffer(void* lpBuffer) override { return mAllocator->Free(lpBuffer); }
  ULONG OutstandingBuffers() override { return mAllocator->Outstanding(); }

 private:
  std::shared_ptr<WabAllocator> mAllocator;
};

}  // namespace

std::shared_ptr<WabAllocator> NewAllocator() {
  return std::make_shared<WabAllocator>();
}

IWABObject* NewAllocatorObject(std::shared_ptr<WabAllocator> allocator) {
  return NewObject<WabObject>(std::move(allocator));
}
