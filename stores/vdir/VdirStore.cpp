// The vdir store: collections of a link, item files as records, and the server's writes as files.
#include "stores/vdir/VdirStore.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "platform/shell/UserFolders.h"
#include "stores/vdir/VdirCalendar.h"
#include "stores/vdir/VdirCard.h"

namespace {

constexpr const char* kOperation = "VdirStore";
constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";
constexpr const char* kContactExtension = ".vcf";
constexpr const char* kCalendarExtension = ".ics";

const char* DefaultCollection(int dataType) {
  switch (dataType) {
    case DATA_TYPE_EVENTS: return "calendar";
    case DATA_TYPE_TASKS: return "tasks";
    default: return "contacts";
  }
}

// Colors of the collections this store makes, by data type (calendar programs show them).
const char* DefaultColor(int dataType) {
  switch (dataType) {
    case DATA_TYPE_EVENTS: return "#3465A4";
    case DATA_TYPE_TASKS: return "#73D216";
    default: return "";
  }
}

int KindOfType(int dataType) { return dataType == DATA_TYPE_TASKS ? ITEM_TASK : ITEM_EVENT; }

std::string RecurrenceIdOf(const CalendarComponent& item) {
  const ItemLine* line = item.Find("RECURRENCE-ID");
  return line == nullptr ? std::string() : line->value;
}

void Stamp(CDataItem& record, const std::string& key, const std::string& file, const std::string& stamp) {
  record.itemId = key;
  record["PR_ENTRYID"] = file;
  record[kStampKey] = stamp;
  record["PR_MESSAGE_CLASS"] = MessageClassOfKind(record.kind);
}

}  // namespace

// What the store knows of one item file as the run last read or wrote it.
struct VdirStore::FileRecords {
  std::string stamp;
  std::string uid;
  // Record key -> the text the item goes to the server as.
  std::unordered_map<std::string, std::string> texts;
  // A group's members, by UID, until they are resolved to files.
  std::vector<std::string> memberUids;
};

VdirStore::VdirStore(CConf& conf, std::string root) : CDatabaseObject(conf), mRoot(WithSlash(std::move(root))) {
  if (mRoot == "/" || !CreateFolderPath(mRoot)) {
    LogError(kOperation, "Cannot use the collections folder " + mRoot);
    mInitError = IDS_DATABASE_LOAD_ERROR;
  }
}

VdirStore::~VdirStore() = default;

// ---- Collections

std::string VdirStore::CollectionPath(const std::string& root, const std::string& path, int dataType) {
  if (path.empty()) return WithSlash(root) + DefaultCollection(dataType);
  if (path.front() == '/') return path;
  const char* home = std::getenv("HOME");
  if (path.rfind("~/", 0) == 0 && home != nullptr && *home != '\0') return std::string(home) + path.substr(1);
  return WithSlash(root) + path;
}

bool VdirStore::SelectFolderOf(const CSyncLink& link) {
  return SelectCollection(link.mDataType, link.mLocalPath, link.mLocalName);
}

bool VdirStore::SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& /*storeId*/) {
  return SelectCollection(dataType, folderEntryId, "");
}

bool VdirStore::SelectCollection(int dataType, const std::string& path, const std::string& displayName) {
  mCollection.reset();
  mFiles.clear();
  if (mInitError != 0 || dataType < DATA_TYPE_CONTACTS || dataType > DATA_TYPE_TASKS) return false;
  auto collection = std::make_unique<VdirCollection>(CollectionPath(mRoot, path, dataType));
  if (!collection->Exists()) {
    const std::string name = displayName.empty() ? std::string(DefaultCollection(dataType)) : displayName;
    if (!collection->Create(name, DefaultColor(dataType))) {
      LogError(kOperation, "Cannot make the collection " + collection->Folder());
      return false;
    }
    mMadeFolders.push_back(collection->Folder());
  }
  mDataType = dataType;
  mCollection = std::move(collection);
  return true;
}

std::string VdirStore::CurrentFolder() const { return mCollection ? mCollection->Folder() : std::string(); }

StoreContentKind VdirStore::GetContentKind() { return IsCalendar() ? CONTENT_CALENDAR : CONTENT_CONTACT; }

const char* VdirStore::Extension() const { return IsCalendar() ? kCalendarExtension : kContactExtension; }

bool VdirStore::ItemExists(const std::string& entryId) {
  if (!mCollection) return false;
  const std::string file = SeriesKeyOf(entryId);
  if (!VdirCollection::IsItemName(file, Extension()) || !mCollection->Stamp(file)) return false;
  if (file == entryId) return true;
  // A changed occurrence exists while its file holds it, or while the file cannot be read to tell.
  const auto known = mFiles.find(file);
  return known == mFiles.end() || known->second.texts.count(entryId) != 0;
}

// ---- Reading

int32_t VdirStore::LoadContent(const std::string& listName) {
  const int32_t status = CDatabaseObject::LoadContent(listName);
  if (status != kStoreOk) return status;
  const auto made = std::find(mMadeFolders.begin(), mMadeFolders.end(), CurrentFolder());
  if (made != mMadeFolders.end()) {
    mMadeFolders.erase(made);
    if (!mSavedItems.Empty()) {
      LogError(kOperation, "The collection " + CurrentFolder() + " was missing while its index lists items; not "
                           "synchronized, so that its items are not deleted on the server");
      mCurrentItems.Clear();
      mSavedItems.Clear();
      return kStoreFail;
    }
  }
  KeepUnreadableItems(CurrentFolder());
  return status;
}

int32_t VdirStore::ReadCurrentFolder() {
  mFiles.clear();
  if (!mCollection) return kStoreFail;
  std::string error;
  const std::optional<std::vector<std::string>> names = mCollection->ItemFiles(Extension(), &error);
  if (!names) {
    LogError(kOperation, error);
    return kStoreFail;
  }
  for (const std::string& name : *names) {
    const std::optional<CollectionFile> file = mCollection->Read(name, &error);
    if (!file) {
      LogError(kOperation, "Cannot read " + error);
      continue;
    }
    for (CDataItem::Ptr& record : MakeRecords(name, file->text, file->stamp)) {
      record->Pack();
      mCurrentItems.Add(std::move(record));
    }
  }
  ResolveGroupMembers();
  return kStoreOk;
}

std::vector<CDataItem::Ptr> VdirStore::MakeRecords(const std::string& name, const std::string& text, const std::string& stamp) {
  mFiles.erase(name);
  std::vector<CDataItem::Ptr> records = IsCalendar() ? MakeCalendarRecords(name, text) : MakeContactRecords(name, text);
  if (records.empty()) {
    mFiles.erase(name);
    LogError(kOperation, "Not an item of this collection, left out: " + CurrentFolder() + name);
    return {};
  }
  mFiles[name].stamp = stamp;
  for (CDataItem::Ptr& record : records) Stamp(*record, record->itemId, name, stamp);
  return records;
}

std::vector<CDataItem::Ptr> VdirStore::MakeContactRecords(const std::string& name, const std::string& text) {
  const std::optional<VdirCard> card = VdirCard::Read(text);
  if (!card) return {};
  const std::string converted = card->Text();
  FileRecords& file = mFiles[name];
  file.uid = card->Uid();
  file.texts[name] = converted;
  VCardContext context;
  const PVCardPtr parsed = Zep3_PVCard_FromStream(&context, converted);
  if (!parsed) return {};
  CDataItem::Ptr record;
  if (card->IsGroup()) {
    record = CDataItem::Create(ITEM_GROUP);
    const GroupCard group = GroupCard::Read(*parsed);
    if (!group.displayName.empty()) (*record)["PR_DISPLAY_NAME"] = group.displayName;
    if (group.comment) (*record)["PR_COMMENT"] = *group.comment;
    file.memberUids = card->MemberUids();
  } else {
    record = CDataItem::Create(ITEM_CONTACT);
    ContactRecordBuilder(*record).Build(*parsed);
  }
  record->itemId = name;
  return {record};
}

// One record per event or task of the file: the series (or single item) keyed by the file name,
// each changed occurrence by the file name and its date. A second item of the same key is left out.
std::vector<CDataItem::Ptr> VdirStore::MakeCalendarRecords(const std::string& name, const std::string& text) {
  const std::optional<VdirCalendar> calendar = VdirCalendar::Read(text);
  if (!calendar || calendar->Kind() != KindOfType(mDataType)) return {};
  FileRecords& file = mFiles[name];
  file.uid = calendar->Uid();
  std::vector<CDataItem::Ptr> records;
  const std::size_t count = calendar->ItemCount();
  for (std::size_t index = 0; index < count; ++index) {
    std::string itemText = calendar->TextOfItems({index});
    CDataItem::Ptr record = CalendarRecordBuilder::Build(itemText);
    if (!record || record->kind != KindOfType(mDataType)) continue;
    const std::string key = IsChangedOccurrence(*record) ? ChangedOccurrenceKey(name, *record) : name;
    if (key.empty() || file.texts.count(key) != 0) continue;
    file.texts[key] = std::move(itemText);
    record->itemId = key;
    records.push_back(std::move(record));
  }
  return records;
}

void VdirStore::ResolveGroupMembers() {
  for (auto& [name, file] : mFiles) {
    if (file.memberUids.empty()) continue;
    const CDataItem::Ptr group = mCurrentItems.Find(name);
    if (!group) continue;
    group->members.clear();
    for (const std::string& uid : file.memberUids) {
      if (const std::string member = FileOfUid(uid); !member.empty()) group->members.push_back(member);
    }
  }
}

std::string VdirStore::FileOfUid(const std::string& uid) const {
  if (uid.empty()) return {};
  for (const auto& [name, file] : mFiles) {
    if (file.uid == uid) return name;
  }
  return {};
}

std::string VdirStore::UidOfFile(const std::string& name) const {
  const auto found = mFiles.find(name);
  return found == mFiles.end() ? std::string() : found->second.uid;
}

std::string VdirStore::ItemText(const CDataItem& record, const ItemTextOptions& options) const {
  // A group goes to the server in the program's own group form, its members by local key.
  if (record.kind == ITEM_GROUP) return record.ToText(options);
  const auto file = mFiles.find(SeriesKeyOf(record.itemId));
  if (file == mFiles.end()) return record.ToText(options);
  const auto text = file->second.texts.find(record.itemId);
  return text == file->second.texts.end() ? record.ToText(options) : UnfoldedText(text->second);
}

// ---- Writing

bool VdirStore::IsUnchangedOnDisk(const std::string& name) const {
  const std::optional<std::string> stamp = mCollection->Stamp(name);
  if (!stamp) return true;
  const auto known = mFiles.find(name);
  return known != mFiles.end() && known->second.stamp == *stamp;
}

void VdirStore::ForgetFile(const std::string& name) {
  std::vector<std::string> keys;
  for (const CDataItem::Ptr& record : mCurrentItems.Items()) {
    if (SeriesKeyOf(record->itemId) == name) keys.push_back(record->itemId);
  }
  for (const std::string& key : keys) mCurrentItems.Remove(key);
  mFiles.erase(name);
}

// The records the next run compares with are the file as written, stamp included, so that the
// server's own change is not sent back as a local one.
bool VdirStore::WriteFile(const std::string& name, const std::string& text, const char* operation) {
  if (!IsUnchangedOnDisk(name)) {
    LogError(operation, CurrentFolder() + name + " was changed since it was read: the server's change is not written");
    return false;
  }
  std::string error;
  if (!mCollection->Write(name, text, &error)) {
    LogError(operation, "Cannot write " + CurrentFolder() + name + ": " + error);
    return false;
  }
  const std::optional<std::string> stamp = mCollection->Stamp(name);
  ForgetFile(name);
  std::vector<CDataItem::Ptr> records = MakeRecords(name, text, stamp.value_or(""));
  if (records.empty()) return false;
  for (CDataItem::Ptr& record : records) mCurrentItems.Add(std::move(record));
  ResolveGroupMembers();
  return true;
}

int32_t VdirStore::AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                      const std::string& contentType) {
  newEntryId.clear();
  if (WriteContact(card, newEntryId, serverId, contentType, "AddAddressBookItem") == WRITE_NOTHING) return kStoreFail;
  NoteItemAdded(serverId, newEntryId);
  return kStoreOk;
}

int32_t VdirStore::UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                         const std::string& contentType, StoreWriteStatus& writeStatus) {
  writeStatus = static_cast<StoreWriteStatus>(WriteContact(card, entryId, serverId, contentType, "UpdateAddressBookItem"));
  if (writeStatus == WRITE_NOTHING) return kStoreFail;
  NoteItemWritten(serverId, entryId);
  return kStoreOk;
}

// A StoreWriteStatus: the card is written as vCard 3.0 over the file `entryId` names (its UID kept
// when the server sent none), or as a new file named after its UID.
int32_t VdirStore::WriteContact(PVCard& card, std::string& entryId, const std::string& /*serverId*/,
                                const std::string& contentType, const char* operation) {
  if (!mCollection || IsCalendar()) return WRITE_NOTHING;
  const bool group = contentType == kGroupContentType;
  const bool existing = VdirCollection::IsItemName(entryId, kContactExtension) && mCollection->Stamp(entryId).has_value();
  // A contact written over a group's file (or the reverse) becomes a new item of its kind.
  const auto known = existing ? mFiles.find(entryId) : mFiles.end();
  const bool sameKind = known != mFiles.end() && known->second.memberUids.empty() == !group;
  const bool overwrite = existing && (sameKind || known == mFiles.end());
  std::string uid = overwrite ? UidOfFile(entryId) : std::string();
  std::string text;
  bool completed = false;
  if (group) {
    text = GroupText(card, uid);
  } else {
    std::optional<VdirCard> read = VdirCard::Read(card.SourceText());
    if (!read) {
      CDataItem record(ITEM_CONTACT);
      ContactRecordBuilder(record).Build(card);
      read = VdirCard::Read(record.ToText());
    }
    if (!read) {
      LogError(operation, "The server's card cannot be read");
      return WRITE_NOTHING;
    }
    if (read->Uid().empty()) read->SetUid(uid.empty() ? mCollection->NewUid() : uid);
    completed = read->CompleteFormattedName();
    uid = read->Uid();
    text = read->Text();
  }
  const std::string name = overwrite ? entryId : mCollection->NameFor(uid, kContactExtension);
  if (!WriteFile(name, text, operation)) return WRITE_NOTHING;
  entryId = name;
  return completed ? WRITE_NAME_COMPLETED : WRITE_DONE;
}

// Members the server names (local keys, or references to items it sent earlier in the run) are
// written by the UIDs of their files.
std::string VdirStore::GroupText(const PVCard& card, const std::string& uid) {
  const GroupCard read = GroupCard::Read(card);
  std::vector<std::string> members;
  for (const std::string& member : read.members) {
    std::string local = member;
    if (const std::string serverId = GroupCard::ServerIdOf(member); !serverId.empty()) {
      auto mapped = mIdMap.find(member);
      if (mapped == mIdMap.end()) mapped = mIdMap.find(serverId);
      local = mapped == mIdMap.end() ? std::string() : mapped->second;
    }
    if (const std::string memberUid = UidOfFile(local); !memberUid.empty()) members.push_back(memberUid);
  }
  const std::string groupUid = uid.empty() ? mCollection->NewUid() : uid;
  return VdirCard::Group(read.displayName, read.comment, members, groupUid).Text();
}

// One event or task from the server: a series goes into its file with the changed occurrences the
// file holds and the text does not replace; a changed occurrence goes into its series' file.
int32_t VdirStore::AddCalendarItem(const std::string& vcalendarText, std::string& entryId) {
  std::optional<VdirCalendar> incoming = mCollection && IsCalendar() ? VdirCalendar::Read(vcalendarText) : std::nullopt;
  if (!incoming || incoming->Kind() != KindOfType(mDataType)) {
    LogError("AddCalendarItem", "Not an item of this collection");
    return kStoreFail;
  }
  const std::vector<const CalendarComponent*> items = incoming->Items();
  const bool occurrencesOnly = std::all_of(items.begin(), items.end(), [](const CalendarComponent* item) {
    return !RecurrenceIdOf(*item).empty();
  });
  std::string file = SeriesKeyOf(entryId);
  if (!VdirCollection::IsItemName(file, kCalendarExtension) || !mCollection->Stamp(file)) file.clear();
  if (file.empty() && occurrencesOnly) file = FileOfUid(incoming->Uid());

  std::optional<VdirCalendar> merged;
  if (!file.empty()) {
    std::string error;
    const std::optional<CollectionFile> current = mCollection->Read(file, &error);
    merged = current ? VdirCalendar::Read(current->text) : std::nullopt;
    if (!merged) {
      LogError("AddCalendarItem", "Cannot read " + CurrentFolder() + file + " to write the server's item into it");
      return kStoreFail;
    }
    const std::string uid = merged->Uid();
    if (incoming->Uid().empty() && !uid.empty()) incoming->SetUid(uid);
    // The file's items that the incoming ones replace: the series, or a changed occurrence of the same date.
    for (std::size_t index = merged->ItemCount(); index-- > 0;) {
      const std::string recurrenceId = RecurrenceIdOf(*merged->Items()[index]);
      const bool replaced = std::any_of(items.begin(), items.end(), [&recurrenceId](const CalendarComponent* item) {
        return RecurrenceIdOf(*item) == recurrenceId;
      });
      if (replaced) merged->RemoveItem(index);
    }
    for (const CalendarComponent* item : incoming->Items()) merged->AddItem(*item);
    merged->TakeZones(*incoming);
    if (!incoming->Uid().empty()) merged->SetUid(incoming->Uid());
  } else {
    if (incoming->Uid().empty()) incoming->SetUid(mCollection->NewUid());
    file = mCollection->NameFor(incoming->Uid(), kCalendarExtension);
    merged = std::move(incoming);
  }
  if (!WriteFile(file, merged->Text(), "AddCalendarItem")) return kStoreFail;
  // The key of the first item the server sent.
  const std::optional<VdirCalendar> sent = VdirCalendar::Read(vcalendarText);
  const CDataItem::Ptr first = sent ? CalendarRecordBuilder::Build(sent->TextOfItems({0})) : nullptr;
  entryId = first && IsChangedOccurrence(*first) ? ChangedOccurrenceKey(file, *first) : file;
  if (!mCurrentItems.Contains(entryId)) entryId = file;
  NoteItemAdded("", entryId);
  return kStoreOk;
}

bool VdirStore::RemoveItem(const std::string& entryId) {
  if (!mCollection) return false;
  const std::string file = SeriesKeyOf(entryId);
  if (file != entryId) return RemoveChangedOccurrence(entryId);
  if (!VdirCollection::IsItemName(file, Extension())) return false;
  if (!IsUnchangedOnDisk(file)) {
    LogError("RemoveItem", CurrentFolder() + file + " was changed since it was read: not deleted");
    return false;
  }
  std::string error;
  if (!mCollection->Remove(file, &error)) {
    LogError("RemoveItem", error);
    return false;
  }
  ForgetFile(file);
  NoteItemRemoved(entryId);
  return true;
}

// The series keeps its other changed occurrences.
bool VdirStore::RemoveChangedOccurrence(const std::string& key) {
  const std::string file = SeriesKeyOf(key);
  const auto known = mFiles.find(file);
  if (known == mFiles.end() || known->second.texts.count(key) == 0) {
    NoteItemRemoved(key);
    return true;
  }
  const std::optional<CollectionFile> current = mCollection->Read(file);
  std::optional<VdirCalendar> calendar = current ? VdirCalendar::Read(current->text) : std::nullopt;
  if (!calendar) {
    LogError("RemoveItem", "Cannot read " + CurrentFolder() + file + " to delete " + key + " from it");
    return false;
  }
  for (std::size_t index = calendar->ItemCount(); index-- > 0;) {
    const CDataItem::Ptr record = CalendarRecordBuilder::Build(calendar->TextOfItems({index}));
    if (record && IsChangedOccurrence(*record) && ChangedOccurrenceKey(file, *record) == key) calendar->RemoveItem(index);
  }
  const bool done = calendar->ItemCount() == 0 ? RemoveItem(file) : WriteFile(file, calendar->Text(), "RemoveItem");
  if (!done) return false;
  NoteItemRemoved(key);
  return true;
}

void VdirStore::CommitWrites() {
  if (mCollection && !mCollection->Flush()) {
    throw CXException("Cannot flush the collection " + CurrentFolder());
  }
}
