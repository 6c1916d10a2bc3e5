// The store behind a session's item sink.
#include "engine/StoreItemSink.h"

#include "stores/CDatabaseObject.h"

bool StoreItemSink::AddContact(PVCard& card, const std::string& serverId, const std::string& contentType,
                               std::string& localId) {
  return mStore.AddAddressBookItem(card, localId, serverId, contentType) == kStoreOk;
}

ContactWrite StoreItemSink::ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) {
  StoreWriteStatus status = WRITE_NOTHING;
  if (mStore.UpdateAddressBookItem(card, localId, "", contentType, status) != kStoreOk) return ContactWrite::Failed;
  return status == WRITE_NAME_COMPLETED ? ContactWrite::NameCompleted : ContactWrite::Written;
}

bool StoreItemSink::WriteCalendarItem(const std::string& vcalendarText, std::string& localId) {
  return mStore.AddCalendarItem(vcalendarText, localId) == kStoreOk;
}

// An item is held when it was loaded or exists outside what was loaded (the sync period).
ItemRemoval StoreItemSink::RemoveItem(const std::string& localId) {
  if (!mStore.mCurrentItems.Find(localId) && !mStore.ItemExists(localId)) return ItemRemoval::NotHeld;
  return mStore.RemoveItem(localId) ? ItemRemoval::Removed : ItemRemoval::Failed;
}

CDataItem::Ptr StoreItemSink::StoredItem(const std::string& localId) { return mStore.mCurrentItems.Find(localId); }
