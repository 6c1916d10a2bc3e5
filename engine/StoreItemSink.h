// The run's local store as the item sink of a SyncML session.
#pragma once

#include <string>

#include "syncml/ItemSink.h"

class CDatabaseObject;
class SessionJournal;

// Forwards the session's writes to the store and answers its look-ups from the store's current
// items. With a journal, every server item written is noted there, and a server item that an
// interrupted session already wrote is written over the same local item instead of a new one.
// The store and the journal are not owned and must outlive the sink.
class StoreItemSink final : public ItemSink {
 public:
  explicit StoreItemSink(CDatabaseObject& store, SessionJournal* journal = nullptr) : mStore(store), mJournal(journal) {}

  bool AddContact(PVCard& card, const std::string& serverId, const std::string& contentType, std::string& localId) override;
  ContactWrite ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) override;
  bool AddCalendarItem(const std::string& vcalendarText, const std::string& serverId, std::string& localId) override;
  bool ReplaceCalendarItem(const std::string& vcalendarText, std::string& localId) override;
  ItemRemoval RemoveItem(const std::string& localId) override;
  CDataItem::Ptr StoredItem(const std::string& localId) override;

 private:
  // The local item an interrupted session wrote the server item `serverId` to ("" when none).
  std::string EarlierCopyOf(const std::string& serverId) const;
  void NoteWritten(const std::string& serverId, const std::string& localId);

  CDatabaseObject& mStore;
  SessionJournal* mJournal;
};
