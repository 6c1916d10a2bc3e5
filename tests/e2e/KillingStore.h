// A run's store that kills its process after a number of server items written, for the
// end-to-end tests of interrupted runs.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <utility>

#include "pim/PVCard.h"
#include "stores/CDatabaseObject.h"

// Counts the server items a store wrote and kills the process after the last one allowed.
class WriteCounter {
 public:
  explicit WriteCounter(int killAfterWrites) : mWritesLeft(killAfterWrites) {}
  void Written() {
    if (mWritesLeft >= 0 && --mWritesLeft < 0) ::raise(SIGKILL);
  }

 private:
  int mWritesLeft;
};

// A store whose server writes go through a WriteCounter.
template <typename Store>
class KillingStore final : public Store {
 public:
  template <typename... Args>
  KillingStore(int killAfterWrites, Args&&... args) : Store(std::forward<Args>(args)...), mCounter(killAfterWrites) {}
  int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                             const std::string& contentType) override {
    const int32_t status = Store::AddAddressBookItem(card, newEntryId, serverId, contentType);
    mCounter.Written();
    return status;
  }
  int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                const std::string& contentType, StoreWriteStatus& writeStatus) override {
    const int32_t status = Store::UpdateAddressBookItem(card, entryId, serverId, contentType, writeStatus);
    mCounter.Written();
    return status;
  }
  int32_t AddCalendarItem(const std::string& text, std::string& entryId) override {
    const int32_t status = Store::AddCalendarItem(text, entryId);
    mCounter.Written();
    return status;
  }

 private:
  WriteCounter mCounter;
};
