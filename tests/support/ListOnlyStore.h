// A store with no folder behind it, for tests and benchmarks that fill its lists directly.
// Header-only, so that benchmark programs can use it without the test support library.
#pragma once

#include <string>

#include "stores/CDatabaseObject.h"

// Every folder can be selected and holds contacts; no item exists beyond mCurrentItems, and
// every write fails (kStoreFail, or false). Reading the folder changes nothing: subclasses
// override ReadCurrentFolder to fill mCurrentItems. The configuration must outlive the store.
class ListOnlyStore : public CDatabaseObject {
 public:
  using CDatabaseObject::CDatabaseObject;

  bool SetCurrentFolder(SyncDataType, const std::string&, const std::string&) override { return true; }
  StoreContentKind GetContentKind() override { return CONTENT_CONTACT; }
  bool ItemExists(const std::string&) override { return false; }
  int32_t AddAddressBookItem(PVCard&, std::string&, const std::string&, const std::string&) override { return kStoreFail; }
  int32_t UpdateAddressBookItem(PVCard&, std::string&, const std::string&, const std::string&, StoreWriteStatus&) override {
    return kStoreFail;
  }
  int32_t AddCalendarItem(const std::string&, std::string&) override { return kStoreFail; }
  bool RemoveItem(const std::string&) override { return false; }

 protected:
  int32_t ReadCurrentFolder() override { return kStoreOk; }
};
