// Copying contact values into allocator buffers.
#include "stores/wab/WabPropertyArray.h"

#include <cstring>

#include "common/TextCodec.h"
#include "config/CLog.h"

namespace {
constexpr const char* kAllocationError = "MAPI Allocation error";
}  // namespace

bool WabPropertyArray::Assign(const ContactProperties& properties) {
  const std::vector<ContactValue>& values = properties.Values();
  mCount = 0;
  void* buffer = nullptr;
  if (HrFailed(mAllocator->AllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * (values.size() + 1)), &buffer))) {
    LogError("SetStringToProp", kAllocationError);
    return false;
  }
  *mValues.Put() = static_cast<SPropValue*>(buffer);
  for (const ContactValue& value : values) {
    SPropValue& slot = mValues.Get()[mCount];
    slot.ulPropTag = value.tag;
    const bool single = PROP_TYPE(value.tag) == PT_UNICODE && value.texts.size() == 1;
    if (single ? !SetStringToProp(slot, value.texts.front()) : !SetCstringToProp(slot, value.texts)) return false;
    ++mCount;
  }
  return true;
}

LPWSTR WabPropertyArray::CopyText(const std::string& text) {
  const std::u16string wide = Utf8ToUtf16(text);
  void* copy = nullptr;
  const ULONG bytes = static_cast<ULONG>((wide.size() + 1) * sizeof(WCHAR));
  if (HrFailed(mAllocator->AllocateMore(bytes, mValues.Get(), &copy))) return nullptr;
  std::memcpy(copy, wide.c_str(), bytes);
  return static_cast<LPWSTR>(copy);
}

bool WabPropertyArray::SetStringToProp(SPropValue& value, const std::string& text) {
  value.ulPropTag = CHANGE_PROP_TYPE(value.ulPropTag, PT_UNICODE);
  value.Value.lpszW = CopyText(text);
  if (value.Value.lpszW != nullptr) return true;
  LogError("SetStringToProp", kAllocationError);
  return false;
}

bool WabPropertyArray::SetCstringToProp(SPropValue& value, const std::vector<std::string>& texts) {
  value.ulPropTag = CHANGE_PROP_TYPE(value.ulPropTag, PT_MV_UNICODE);
  void* list = nullptr;
  if (HrFailed(mAllocator->AllocateMore(static_cast<ULONG>(sizeof(LPWSTR) * (texts.size() + 1)), mValues.Get(), &list))) {
    LogError("SetCstringToProp", kAllocationError);
    return false;
  }
  value.Value.MVszW.cValues = static_cast<ULONG>(texts.size());
  value.Value.MVszW.lppszW = static_cast<LPWSTR*>(list);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    value.Value.MVszW.lppszW[i] = CopyText(texts[i]);
    if (value.Value.MVszW.lppszW[i] == nullptr) {
      LogError("SetCstringToProp", kAllocationError);
      return false;
    }
  }
  return true;
}
