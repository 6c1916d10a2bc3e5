// Reference counting for the objects the library hands out: created with one reference, destroyed
// by the Release that gives back the last one.
#pragma once

#include <atomic>
#include <memory>
#include <utility>

#include "platform/wab/WabApi.h"

template <class Interface>
class RefCounted : public Interface {
 public:
  ULONG AddRef() override { return mCount.fetch_add(1) + 1; }

  ULONG Release() override {
    const ULONG left = mCount.fetch_sub(1) - 1;
    if (left == 0) std::unique_ptr<RefCounted>{this}.reset();  // the last reference owns the object
    return left;
  }

 protected:
  RefCounted() = default;

 private:
  std::atomic<ULONG> mCount{1};
};

// A new object with its one reference, for the caller to Release.
template <class Object, class... Args>
Object* NewObject(Args&&... args) {
  return std::make_unique<Object>(std::forward<Args>(args)...).release();
}
