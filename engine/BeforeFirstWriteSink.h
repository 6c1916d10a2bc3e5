// An item sink that runs one step before the session's first change to the local store.
#pragma once

#include <functional>
#include <string>

#include "syncml/ItemSink.h"

// Forwards every call to `inner`; before the first call that may change the local store (an add,
// a replace, a removal, a local copy) it runs `beforeFirstWrite` once. An exception from that step
// passes on and the write is not made (it fails the link before anything changed); the step is
// then tried again before the next write. `inner` must outlive the sink.
class BeforeFirstWriteSink final : public ItemSink {
 public:
  BeforeFirstWriteSink(ItemSink& inner, std::function<void()> beforeFirstWrite)
      : mInner(inner), mBeforeFirstWrite(std::move(beforeFirstWrite)) {}

  // Runs the step now unless it ran: for changes the driver makes to the store itself.
  void BeforeWrite();

  bool AddContact(PVCard& card, const std::string& serverId, const std::string& contentType, std::string& localId) override;
  ContactWrite ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) override;
  bool AddCalendarItem(const std::string& vcalendarText, const std::string& serverId, std::string& localId) override;
  bool ReplaceCalendarItem(const std::string& vcalendarText, std::string& localId) override;
  ItemRemoval RemoveItem(const std::string& localId) override;
  CDataItem::Ptr StoredItem(const std::string& localId) override { return mInner.StoredItem(localId); }
  std::string ItemText(const CDataItem& record, const ItemTextOptions& options) override { return mInner.ItemText(record, options); }
  void KeepServerText(const std::string& localId, const std::string& text) override { mInner.KeepServerText(localId, text); }
  bool AddLocalCopy(const CDataItem& record, std::string& localId) override;

 private:
  ItemSink& mInner;
  std::function<void()> mBeforeFirstWrite;
  bool mDone = false;
};
