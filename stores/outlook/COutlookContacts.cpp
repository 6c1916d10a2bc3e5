// The Outlook store's contacts and distribution lists: reading, the e-mail types, writing and
// deleting.
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/ItemLists.h"
#include "platform/automation/AutomationError.h"
#include "stores/EmailTypes.h"
#include "stores/outlook/COutlook.h"
#include "stores/outlook/OutlookContactFields.h"

namespace {

constexpr const char* kLoadContacts = "COutlook::LoadContacts";
constexpr const char* kMervaleFields = "LoadMervaleFields";
constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";

// Sets the values `from` holds for `keys` in `to`, which is then packed again.
template <size_t kCount>
void CopyAndPack(const CDataItem& from, const char* const (&keys)[kCount], CDataItem& to) {
  std::string_view value;
  for (const char* key : keys) {
    if (from.properties.Lookup(key, value)) to.properties.insert_or_assign(key, std::string(value));
  }
  to.Pack();
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool IsContact(const outlook::OutlookItem& item) { return StartsWith(item.GetMessageClass(), COutlook::kContactClass); }
bool IsDistList(const outlook::OutlookItem& item) { return StartsWith(item.GetMessageClass(), COutlook::kDistListClass); }

// A contact's addresses in Outlook with the types the index kept: the type entry at a position
// Outlook has an address for types that address; entries beyond them bring back the addresses
// Outlook could not hold. Entries of two characters or fewer are skipped.
void MergeKeptTypes(const CDataItem& record, std::vector<std::string>& addresses, std::vector<std::string>& types) {
  addresses = SplitTabList(record.PropertyView("PR_CONTACT_EMAIL_ADDRESSES"));
  types.assign(addresses.size(), std::string());
  std::string_view kept;
  if (!record.properties.Lookup("PR_ZEP_EMAIL_ADDRESSES_TYPES", kept)) return;
  const size_t outlookCount = addresses.size();
  const std::vector<std::string> entries = SplitTabList(kept);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].size() <= 2) continue;
    if (i < outlookCount) {
      types[i] = entries[i].substr(0, 1);
    } else {
      addresses.push_back(entries[i].substr(2));
      types.push_back(entries[i].substr(0, 1));
    }
  }
}

std::string TypedAddressList(const std::vector<std::string>& addresses, const std::vector<std::string>& types) {
  std::string list;
  for (size_t i = 0; i < addresses.size(); ++i) list += types[i] + ":" + addresses[i] + "\t";
  return list;
}

}  // namespace

int32_t COutlook::LoadContacts(CDataItemList& list) {
  LogDebug(kLoadContacts, "Begin");
  const outlook::Items items = mCurrentFolder.GetItems();
  const int32_t count = items.GetCount();
  LogDebug(kLoadContacts, FormatText("Contacts found: %d", {count}));
  for (int32_t index = 1; index <= count; ++index) {
    if (Cancelled()) throw COutlookException(IDS_CANCELED_BY_USER);
    const outlook::ContactItem contact(items.Item(index));
    if (!contact) {
      LogError(kLoadContacts, FormatText("Item %d missing", {index}));
      return kStoreFail;
    }
    // Distribution lists are not sent to the server.
    if (contact.GetMessageClass() == kDistListClass) continue;
    const CDataItem::Ptr record = ReadContactRecord(contact);
    // Packed at once, so that the folder is never held as one string per value.
    record->Pack();
    list.Add(record);
    LogDebug(kLoadContacts, "Contact loaded: " + std::string(record->PropertyView("PR_DISPLAY_NAME")));
  }
  LogDebug(kLoadContacts, "End");
  return kStoreOk;
}

void COutlook::LoadMervaleFields() {
  LogDebug(kMervaleFields, "Begin");
  // Read only when a contact is not in the index: a run without new contacts never opens it.
  std::optional<CDataItemList> imported;
  for (const CDataItem::Ptr& record : mCurrentItems.Items()) {
    if (record->itemId.empty()) continue;
    CDataItem::Ptr saved = mSavedItems.Find(record->itemId);
    if (!saved) {
      if (!imported) {
        imported.emplace();
        imported->SetPath(mConf.ConfigFolder(), ImportedSideListsName());
        if (CDataItemList::FileListsRecords(imported->Path())) imported->LoadFile();
      }
      saved = imported->Find(record->itemId);
      // Only for the contact as it was imported: once changed, what the file kept may no longer fit.
      if (saved && saved->PropertyView(kStampKey) != record->PropertyView(kStampKey)) saved = nullptr;
    }
    if (!saved) continue;
    CopyAndPack(*saved, kContactSideLists, *record);
  }
  for (const CDataItem::Ptr& record : mCurrentItems.Items()) {
    std::vector<std::string> addresses, types;
    MergeKeptTypes(*record, addresses, types);
    const EmailTypesOutcome outcome =
        ResolveEmailTypes(mConf, mPrompt, FirstSyncOfLink(), std::string(record->PropertyView("PR_DISPLAY_NAME")),
                          std::string(record->PropertyView("PR_NICKNAME")), addresses, types);
    if (outcome == EmailTypesOutcome::Cancelled) {
      mInitError = IDS_SYNC_CANCELED;
      // The user stopped the run, not only this folder: the links after it are not synchronized.
      if (mConf.SyncRunning() == CConf::RUN_RUNNING) mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
      break;
    }
    std::string typed = TypedAddressList(addresses, types);
    // Most records already hold this list (kept from the index): they stay packed.
    std::string_view held;
    if (record->properties.Lookup("PR_ZEP_EMAIL_ADDRESSES_TYPES", held) && held == typed) continue;
    record->properties.insert_or_assign("PR_ZEP_EMAIL_ADDRESSES_TYPES", std::move(typed));
    record->Pack();
  }
  LogDebug(kMervaleFields, "End");
}

int COutlook::Pvcard2AddressBook(PVCard& card, std::string& entryId) {
  const char* const operation = "COutlook::Pvcard2AddressBook";
  LogDebug(operation, "Begin");
  outlook::ContactItem contact;
  if (const outlook::OutlookItem found = GetItem(entryId); found && IsContact(found)) {
    contact = outlook::ContactItem(found.Object());
  } else {
    entryId.clear();
    contact = outlook::ContactItem(mCurrentFolder.GetItems().Add(kContactClass));
  }
  CDataItem built(ITEM_CONTACT);
  const bool nameFromNickname = ContactRecordBuilder(built).Build(card);
  WriteContactFields(contact, built);
  contact.Save();
  if (entryId.empty()) entryId = contact.GetEntryID();
  RefreshRecord(contact, built);
  mWrittenContacts.push_back(entryId);
  LogDebug(operation, "End: " + entryId);
  return nameFromNickname ? WRITE_NAME_COMPLETED : WRITE_DONE;
}

// The record of a written contact is what Outlook now holds, with the side lists of the card, so
// that the change log sees no change of its own and a contact sent back carries what was written.
void COutlook::RefreshRecord(const outlook::ContactItem& contact, const CDataItem& sideLists) {
  const CDataItem::Ptr record = ReadContactRecord(contact);
  CopyAndPack(sideLists, kContactSideLists, *record);
  mCurrentItems.Put(record);
}

std::string COutlook::ImportedSideListsName() const {
  std::string name = "Imported_";
  for (const char c : mCurrentFolder ? mCurrentFolder.GetEntryID() : std::string()) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) name += c;
  }
  return name;
}

void COutlook::SaveImportedSideLists() {
  if (mWrittenContacts.empty()) return;
  CDataItemList imported;
  imported.SetPath(mConf.ConfigFolder(), ImportedSideListsName());
  if (CDataItemList::FileListsRecords(imported.Path())) imported.LoadFile();
  CDataItemList kept;
  for (const CDataItem::Ptr& entry : imported.Items()) {
    if (GetItem(entry->itemId)) kept.Add(entry);
  }
  for (const std::string& entryId : mWrittenContacts) {
    const CDataItem::Ptr record = mCurrentItems.Find(entryId);
    if (!record) continue;
    CDataItem::Ptr entry = CDataItem::Create(ITEM_CONTACT);
    entry->itemId = entryId;
    entry->properties.insert_or_assign(kStampKey, std::string(record->PropertyView(kStampKey)));
    CopyAndPack(*record, kContactSideLists, *entry);
    kept.Put(std::move(entry));
  }
  kept.SetPath(mConf.ConfigFolder(), ImportedSideListsName());
  kept.SaveFile();
}

int COutlook::ListPVCard2OAB(PVCard& card, std::string& entryId) {
  const char* const operation = "COutlook::ListPVCard2OAB";
  LogDebug(operation, "Begin");
  outlook::DistListItem list;
  if (const outlook::OutlookItem found = GetItem(entryId); found && IsDistList(found)) {
    list = outlook::DistListItem(found.Object());
    CleanList(list);
  } else {
    entryId.clear();
    list = outlook::DistListItem(mCurrentFolder.GetItems().Add(kDistListClass));
  }
  const outlook::MailItem scratch(mApplication.CreateItem(olMailItem));
  const outlook::Recipients members = scratch.GetRecipients();
  const GroupCard group = GroupCard::Read(card);
  if (!group.displayName.empty()) list.SetDLName(group.displayName);
  if (group.comment) list.SetBody(*group.comment);
  for (const std::string& member : group.members) {
    std::string localId = member;
    if (const std::string serverId = GroupCard::ServerIdOf(member); !serverId.empty()) {
      auto mapped = mIdMap.find(member);
      if (mapped == mIdMap.end()) mapped = mIdMap.find(serverId);
      localId = mapped == mIdMap.end() ? std::string() : mapped->second;
    }
    if (!AddMember(members, localId)) LogError(operation, "List member not found, left out: " + member);
  }
  if (members.GetCount() > 0) list.AddMembers(members);
  list.Save();
  if (entryId.empty()) entryId = list.GetEntryID();
  LogDebug(operation, "End: " + entryId);
  return WRITE_DONE;
}

// Outlook resolves a member by the text it is added with: the contact's e-mail address, else its
// name. A text that resolves to another contact (two of one name) is taken back.
bool COutlook::AddMember(const outlook::Recipients& members, const std::string& localId) {
  if (localId.empty()) return false;
  const outlook::OutlookItem item = GetItem(localId);
  if (!item || !IsContact(item)) return false;
  const outlook::ContactItem contact(item.Object());
  const std::string reference = std::string(kContactReferencePrefix) + contact.GetEntryID();
  for (const std::string& text : {contact.GetEmail1Address(), contact.GetFileAs()}) {
    if (text.empty()) continue;
    if (members.Add(text).GetEntryID() == reference) return true;
    members.Remove(members.GetCount());
  }
  return false;
}

void COutlook::CleanList(const outlook::DistListItem& list) {
  const char* const operation = "COutlook::CleanList";
  LogDebug(operation, "Begin");
  const outlook::MailItem scratch(mApplication.CreateItem(olMailItem));
  const outlook::Recipients members = scratch.GetRecipients();
  const std::string_view prefix = kContactReferencePrefix;
  const int32_t count = list.GetMemberCount();
  for (int32_t index = 1; index <= count; ++index) {
    const outlook::Recipient member = list.GetMember(index);
    const std::string memberId = member.GetEntryID();
    if (!StartsWith(memberId, prefix)) continue;
    // A member whose contact is gone is removed by the name it was added with.
    std::string name = member.GetName();
    try {
      const outlook::ContactItem contact(mNamespace.GetItemFromID(memberId.substr(prefix.size()), ""));
      name = contact.GetFileAs();
    } catch (const AutomationError& error) {
      LogDebug(operation, std::string(error.what()) + ": " + memberId);
    }
    members.Add(name);
  }
  if (members.GetCount() > 0) list.RemoveMembers(members);
  LogDebug(operation, "End");
}

bool COutlook::DeleteContact(const std::string& entryId) {
  const char* const operation = "COutlook::DeleteContact";
  LogDebug(operation, "Begin");
  LogDebug(operation, "Deleting ID " + entryId);
  const outlook::OutlookItem item = GetItem(entryId);
  if (!item) return false;
  item.Delete();
  LogDebug(operation, "Found and deleted");
  return true;
}
