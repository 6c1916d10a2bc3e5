// Owning handles for callers of the address book: object references released and allocator
// buffers freed when the handle goes.
#pragma once

#include <utility>

#include "platform/wab/WabApi.h"

// Holds one reference to an address book object.
template <class T>
class WabRef {
 public:
  WabRef() = default;
  explicit WabRef(T* object) : mObject(object) {}  // adopts the caller's reference
  ~WabRef() { Reset(); }
  WabRef(WabRef&& other) noexcept : mObject(std::exchange(other.mObject, nullptr)) {}
  WabRef& operator=(WabRef&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.mObject, nullptr));
    return *this;
  }
  WabRef(const WabRef&) = delete;
  WabRef& operator=(const WabRef&) = delete;

  T* Get() const { return mObject; }
  T* operator->() const { return mObject; }
  explicit operator bool() const { return mObject != nullptr; }
  // For out parameters: releases what is held and gives the slot to fill.
  T** Put() {
    Reset();
    return &mObject;
  }
  void Reset(T* object = nullptr) {
    if (mObject != nullptr) mObject->Release();
    mObject = object;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(mObject, nullptr); }

 private:
  T* mObject = nullptr;
};

// Holds a root buffer of the allocator; the allocator must outlive the handle.
template <class T>
class WabBuffer {
 public:
  explicit WabBuffer(IWABObject* allocator) : mAllocator(allocator) {}
  ~WabBuffer() { Reset(); }
  WabBuffer(const WabBuffer&) = delete;
  WabBuffer& operator=(const WabBuffer&) = delete;

  T* Get() const { return mBuffer; }
  T* operator->() const { return mBuffer; }
  explicit operator bool() const { return mBuffer != nullptr; }
  T** Put() {
    Reset();
    return &mBuffer;
  }
  void Reset() {
    if (mBuffer != nullptr) mAllocator->FreeBuffer(mBuffer);
    mBuffer = nullptr;
  }

 private:
  IWABObject* mAllocator;
  T* mBuffer = nullptr;
};

// Frees a row set from QueryRows: each row's values, then the set.
inline void FreeRowSet(IWABObject* allocator, SRowSet* rows) {
  if (rows == nullptr) return;
  SRow* row = rows->aRow;  // the array really holds cRows rows
  for (ULONG i = 0; i < rows->cRows; ++i) allocator->FreeBuffer(row[i].lpProps);
  allocator->FreeBuffer(rows);
}

// Holds a row set and frees it with FreeRowSet.
class WabRowSet {
 public:
  explicit WabRowSet(IWABObject* allocator) : mAllocator(allocator) {}
  ~WabRowSet() { Reset(); }
  WabRowSet(const WabRowSet&) = delete;
  WabRowSet& operator=(const WabRowSet&) = delete;

  SRowSet* Get() const { return mRows; }
  ULONG Count() const { return mRows != nullptr ? mRows->cRows : 0; }
  const SRow& Row(ULONG index) const { return (static_cast<const SRow*>(mRows->aRow))[index]; }
  SRowSet** Put() {
    Reset();
    return &mRows;
  }
  void Reset() {
    FreeRowSet(mAllocator, mRows);
    mRows = nullptr;
  }

 private:
  IWABObject* mAllocator;
  SRowSet* mRows = nullptr;
};
