// The run's local store as the item sink of a SyncML session.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "syncml/ItemSink.h"

class CDataItem;
class CDatabaseObject;
class ExchangedItemTexts;
class HeldBackItems;
class SessionJournal;

// Forwards the session's writes to the store and answers its look-ups from the store's current
// items. With a journal, every server item written is noted there, and a server item that an
// interrupted session already wrote is written over the same local item instead of a new one.
// With held-back items, a new server item that is a copy of one is written over it as well.
// With kept texts, the server's texts are kept there, the items sent back are merged with them,
// and an item's text goes when the item does.
// The store, the journal, the held-back items and the texts are not owned and must outlive the sink.
class StoreItemSink final : public ItemSink {
 public:
  explicit StoreItemSink(CDatabaseObject& store, SessionJournal* journal = nullptr, HeldBackItems* heldBack = nullptr,
                         ExchangedItemTexts* texts = nullptr)
      : mStore(store), mJournal(journal), mHeldBack(heldBack), mTexts(texts) {}

  bool AddContact(PVCard& card, const std::string& serverId, const std::string& contentType, std::string& localId) override;
  ContactWrite ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) override;
  bool AddCalendarItem(const std::string& vcalendarText, const std::string& serverId, std::string& localId) override;
  bool ReplaceCalendarItem(const std::string& vcalendarText, std::string& localId) override;
  ItemRemoval RemoveItem(const std::string& localId) override;
  CDataItem::Ptr StoredItem(const std::string& localId) override;
  std::string ItemText(const CDataItem& record, const ItemTextOptions& options) override;
  void KeepServerText(const std::string& localId, const std::string& text) override;
  bool AddLocalCopy(const CDataItem& record, std::string& localId) override;

  // Called once, right before the sink first changes the store.
  void SetBeforeFirstWrite(std::function<void()> hook) { mBeforeFirstWrite = std::move(hook); }
  // While `removals` is set (not owned), a server deletion of an item the store holds is only
  // noted there and answered as done; the item stays until the caller removes it.
  void DeferRemovals(std::vector<std::string>* removals) { mDeferredRemovals = removals; }

 private:
  void BeforeWrite();
  // The local item an interrupted session wrote the server item `serverId` to ("" when none).
  std::string EarlierCopyOf(const std::string& serverId) const;
  // The held-back local item `record` (the server's new item) is a copy of ("" when none).
  std::string HeldBackCopyOf(const std::string& serverId, const CDataItem& record);
  void NoteWritten(const std::string& serverId, const std::string& localId);

  CDatabaseObject& mStore;
  SessionJournal* mJournal;
  HeldBackItems* mHeldBack;
  ExchangedItemTexts* mTexts;
  std::function<void()> mBeforeFirstWrite;
  std::vector<std::string>* mDeferredRemovals = nullptr;
};
