// The store behind a session's item sink, and the journal of what the server wrote into it.
#include "engine/StoreItemSink.h"

#include "config/CLog.h"
#include "engine/ExchangedItemTexts.h"
#include "engine/HeldBackItems.h"
#include "engine/SessionJournal.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/CDatabaseObject.h"

namespace {
constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";
}  // namespace

bool StoreItemSink::AddContact(PVCard& card, const std::string& serverId, const std::string& contentType,
                               std::string& localId) {
  BeforeWrite();
  std::string earlier = EarlierCopyOf(serverId);
  if (earlier.empty() && mHeldBack != nullptr && contentType != kGroupContentType) {
    CDataItem record(ITEM_CONTACT);
    ContactRecordBuilder(record).Build(card);
    earlier = HeldBackCopyOf(serverId, record);
  }
  if (earlier.empty()) {
    if (mStore.AddAddressBookItem(card, localId, serverId, contentType) != kStoreOk) return false;
  } else {
    localId = earlier;
    StoreWriteStatus status = WRITE_NOTHING;
    if (mStore.UpdateAddressBookItem(card, localId, serverId, contentType, status) != kStoreOk) return false;
  }
  NoteWritten(serverId, localId);
  return true;
}

ContactWrite StoreItemSink::ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) {
  BeforeWrite();
  StoreWriteStatus status = WRITE_NOTHING;
  if (mStore.UpdateAddressBookItem(card, localId, "", contentType, status) != kStoreOk) return ContactWrite::Failed;
  NoteWritten("", localId);
  return status == WRITE_NAME_COMPLETED ? ContactWrite::NameCompleted : ContactWrite::Written;
}

bool StoreItemSink::AddCalendarItem(const std::string& vcalendarText, const std::string& serverId, std::string& localId) {
  BeforeWrite();
  localId = EarlierCopyOf(serverId);
  if (localId.empty() && mHeldBack != nullptr) {
    if (const CDataItem::Ptr record = CalendarRecordBuilder::Build(vcalendarText)) localId = HeldBackCopyOf(serverId, *record);
  }
  if (mStore.AddCalendarItem(vcalendarText, localId) != kStoreOk) return false;
  NoteWritten(serverId, localId);
  return true;
}

bool StoreItemSink::ReplaceCalendarItem(const std::string& vcalendarText, std::string& localId) {
  BeforeWrite();
  if (mStore.AddCalendarItem(vcalendarText, localId) != kStoreOk) return false;
  NoteWritten("", localId);
  return true;
}

// An item is held when it was loaded or exists outside what was loaded (the sync period).
ItemRemoval StoreItemSink::RemoveItem(const std::string& localId) {
  if (!mStore.mCurrentItems.Find(localId) && !mStore.ItemExists(localId)) return ItemRemoval::NotHeld;
  if (mDeferredRemovals != nullptr) {
    mDeferredRemovals->push_back(localId);
    return ItemRemoval::Removed;
  }
  BeforeWrite();
  if (!mStore.RemoveItem(localId)) return ItemRemoval::Failed;
  if (mTexts != nullptr) mTexts->Remove(localId);
  return ItemRemoval::Removed;
}

CDataItem::Ptr StoreItemSink::StoredItem(const std::string& localId) { return mStore.mCurrentItems.Find(localId); }

std::string StoreItemSink::ItemText(const CDataItem& record, const ItemTextOptions& options) {
  return mTexts != nullptr ? mTexts->TextToSend(record, options) : mStore.ItemText(record, options);
}

void StoreItemSink::KeepServerText(const std::string& localId, const std::string& text) {
  if (mTexts != nullptr && !localId.empty()) mTexts->Put(localId, text);
}

// Written through the item's text form, as a server item would be; it names no server item, so
// nothing goes into the journal.
bool StoreItemSink::AddLocalCopy(const CDataItem& record, std::string& localId) {
  BeforeWrite();
  localId.clear();
  const std::string text = mStore.ItemText(record, {});
  if (record.kind == ITEM_EVENT || record.kind == ITEM_TASK) return mStore.AddCalendarItem(text, localId) == kStoreOk && !localId.empty();
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  return card && mStore.AddAddressBookItem(*card, localId, "", record.ContentTypeOf()) == kStoreOk && !localId.empty();
}

void StoreItemSink::BeforeWrite() {
  if (!mBeforeFirstWrite) return;
  const std::function<void()> hook = std::move(mBeforeFirstWrite);
  mBeforeFirstWrite = nullptr;
  hook();
}

std::string StoreItemSink::EarlierCopyOf(const std::string& serverId) const {
  if (mJournal == nullptr) return {};
  const std::optional<std::string> localId = mJournal->LocalIdOf(serverId);
  if (!localId) return {};
  LogDebug("StoreItemSink", "Server item " + serverId + " written before as " + *localId + ": written over it");
  return *localId;
}

std::string StoreItemSink::HeldBackCopyOf(const std::string& serverId, const CDataItem& record) {
  std::string localId = mHeldBack->TakeCopyOf(record);
  if (!localId.empty()) LogDebug("StoreItemSink", "Server item " + serverId + " is a copy of the held-back " + localId + ": written over it");
  return localId;
}

// The stamp is the one the store gave the item's record when it wrote it.
void StoreItemSink::NoteWritten(const std::string& serverId, const std::string& localId) {
  if (mJournal == nullptr) return;
  const CDataItem::Ptr record = mStore.mCurrentItems.Find(localId);
  mJournal->NoteWritten(serverId, localId, record ? record->Property(kStampKey) : std::string());
}
