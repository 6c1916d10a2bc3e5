// A contact's property values as one buffer of the address book's allocator, ready for SetProps.
#pragma once

#include <string>
#include <vector>

#include "platform/wab/WabApi.h"
#include "platform/wab/WabPtr.h"
#include "stores/wab/ContactProperties.h"

// Owns one root buffer of `allocator` holding the values; the strings hang off it
// (AllocateMore) and are freed with it. The allocator must outlive the array.
class WabPropertyArray {
 public:
  explicit WabPropertyArray(IWABObject* allocator) : mAllocator(allocator), mValues(allocator) {}
  WabPropertyArray(const WabPropertyArray&) = delete;
  WabPropertyArray& operator=(const WabPropertyArray&) = delete;

  // Copies `properties` into the allocator's buffers: a one-text value of a wide string tag
  // becomes a wide string, any other value a wide string array. False (with "MAPI Allocation
  // error" logged under "SetStringToProp" or "SetCstringToProp") when the allocator refuses.
  bool Assign(const ContactProperties& properties);

  ULONG Count() const { return mCount; }
  SPropValue* Data() const { return mValues.Get(); }

 private:
  bool SetStringToProp(SPropValue& value, const std::string& text);
  bool SetCstringToProp(SPropValue& value, const std::vector<std::string>& texts);
  LPWSTR CopyText(const std::string& text);

  IWABObject* mAllocator;
  WabBuffer<SPropValue> mValues;
  ULONG mCount = 0;
};
