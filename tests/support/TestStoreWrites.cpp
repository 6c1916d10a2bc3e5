// Test store: the server's contacts, groups, events and tasks written as held items, mapped to
// records by the folder store's record builders (the field rules a real contact store follows).
#include "config/CLog.h"
#include "pim/PVCard.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "tests/support/TestStore.h"

void TestStore::ThrowIfAutomationRefuses() {
  if (mAutomationError.empty()) return;
  if (mWritesBeforeAutomationError > 0) {
    --mWritesBeforeAutomationError;
    return;
  }
  throw CAutomationException(mAutomationError);
}

int32_t TestStore::AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                      const std::string& contentType) {
  ThrowIfAutomationRefuses();
  const bool group = contentType == kGroupContentType;
  newEntryId.clear();
  StoreWriteStatus writeStatus = WRITE_NOTHING;
  const bool written = group ? WriteGroup(card, newEntryId) : WriteContact(card, newEntryId, writeStatus);
  if (!written) {
    LogError("AddAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemAdded(serverId, newEntryId);
  RefreshCurrentRecord(newEntryId);
  LogDebug("AddAddressBookItem", "Item added");
  return kStoreOk;
}

int32_t TestStore::UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                         const std::string& contentType, StoreWriteStatus& writeStatus) {
  ThrowIfAutomationRefuses();
  const bool group = contentType == kGroupContentType;
  writeStatus = WRITE_NOTHING;
  const bool written = group ? WriteGroup(card, entryId) : WriteContact(card, entryId, writeStatus);
  if (group && written) writeStatus = WRITE_DONE;
  if (!written) {
    LogError("UpdateAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemWritten(serverId, entryId);
  RefreshCurrentRecord(entryId);
  LogDebug("UpdateAddressBookItem", "Item updated");
  return kStoreOk;
}

// Writes over the contact `id` of the current folder, or creates one (and sets `id`) when the
// folder holds none by that identifier. Fields the card does not give are left empty.
bool TestStore::WriteContact(PVCard& card, std::string& id, StoreWriteStatus& writeStatus) {
  if (!mOpen || mFailWrites || mCurrent == nullptr || IsCalendar(*mCurrent)) return false;
  auto record = CDataItem::Create(ITEM_CONTACT);
  if (mCurrent->items.count(id) != 0) record->itemId = id;
  writeStatus = ContactRecordBuilder(*record).Build(card) ? WRITE_NAME_COMPLETED : WRITE_DONE;
  id = Store(*mCurrent, std::move(record));
  return true;
}

// A group's members are named by UID: "TMP:" and a server identifier for an item the server
// sent earlier in the run (resolved through mIdMap), else a local identifier. Members the
// store does not hold are left out.
bool TestStore::WriteGroup(PVCard& card, std::string& id) {
  if (!mOpen || mFailWrites || mCurrent == nullptr || IsCalendar(*mCurrent)) return false;
  auto record = CDataItem::Create(ITEM_GROUP);
  if (mCurrent->items.count(id) != 0) record->itemId = id;
  const GroupCard group = GroupCard::Read(card);
  if (!group.displayName.empty()) (*record)["PR_DISPLAY_NAME"] = group.displayName;
  if (group.comment) (*record)["PR_COMMENT"] = *group.comment;
  for (const std::string& reference : group.members) {
    std::string member = reference;
    if (const std::string serverId = GroupCard::ServerIdOf(reference); !serverId.empty()) {
      auto mapped = mIdMap.find(reference);
      if (mapped == mIdMap.end()) mapped = mIdMap.find(serverId);
      member = mapped == mIdMap.end() ? "" : mapped->second;
    }
    if (!member.empty() && Find(member) != nullptr) record->members.push_back(member);
  }
  id = Store(*mCurrent, std::move(record));
  return true;
}

int32_t TestStore::AddCalendarItem(const std::string& vcalendarText, std::string& entryId) {
  ThrowIfAutomationRefuses();
  if (!WriteCalendarItem(vcalendarText, entryId)) {
    LogError("AddCalendarItem", "CalendarItem2CAL error");
    return kStoreFail;
  }
  NoteItemAdded("", entryId);
  RefreshCurrentRecord(entryId);
  LogDebug("AddCalendarItem", "Item added");
  return kStoreOk;
}

// Writes over the item `id` of the current folder or creates a new one (and sets `id`). A VTODO
// goes only into a task folder and a VEVENT only into an event folder.
bool TestStore::WriteCalendarItem(const std::string& text, std::string& id) {
  if (!mOpen || mFailWrites || mCurrent == nullptr || !IsCalendar(*mCurrent)) return false;
  CDataItem::Ptr record = CalendarRecordBuilder::Build(text);
  if (!record) return false;
  const int wantedType = record->kind == ITEM_TASK ? DATA_TYPE_TASKS : DATA_TYPE_EVENTS;
  if (mCurrent->dataType != wantedType) return false;
  if (mCurrent->items.count(id) != 0) record->itemId = id;
  id = Store(*mCurrent, std::move(record));
  return true;
}
