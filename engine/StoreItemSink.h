// The run's local store as the item sink of a SyncML session.
#pragma once

#include <string>

#include "syncml/ItemSink.h"

class CDatabaseObject;

// Forwards the session's writes to the store and answers its look-ups from the store's current
// items. The store is not owned and must outlive the sink.
class StoreItemSink final : public ItemSink {
 public:
  explicit StoreItemSink(CDatabaseObject& store) : mStore(store) {}

  bool AddContact(PVCard& card, const std::string& serverId, const std::string& contentType, std::string& localId) override;
  ContactWrite ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) override;
  bool WriteCalendarItem(const std::string& vcalendarText, std::string& localId) override;
  ItemRemoval RemoveItem(const std::string& localId) override;
  CDataItem::Ptr StoredItem(const std::string& localId) override;

 private:
  CDatabaseObject& mStore;
};
