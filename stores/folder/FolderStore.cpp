// The folder store: folders, item files, stamps from modification times, and the server writes.
#include "stores/folder/FolderStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Format.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/folder/CalendarRecordBuilder.h"
#include "stores/folder/ContactRecordBuilder.h"

namespace {

constexpr const char* kOperation = "FolderStore";
constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";
constexpr const char* kContactExtension = ".vcf";
constexpr const char* kGroupExtension = ".group";
constexpr const char* kCalendarExtension = ".vcs";
constexpr const char* kICalendarExtension = ".ics";

const char* DefaultFolderName(int dataType) {
  switch (dataType) {
    case DATA_TYPE_EVENTS:
      return "events";
    case DATA_TYPE_TASKS:
      return "tasks";
    default:
      return "contacts";
  }
}

const char* MessageClassOf(int kind) {
  switch (kind) {
    case ITEM_GROUP:
      return "IPM.DistList";
    case ITEM_TASK:
      return "IPM.Task";
    case ITEM_EVENT:
      return "IPM.Appointment";
    default:
      return "IPM.Contact";
  }
}

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

// A file or folder name that stays inside its folder.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

FolderStore::FolderStore(CConf& conf, std::string root) : CDatabaseObject(conf), mRoot(std::move(root)) {
  if (mRoot.empty() || mRoot.back() != '/') mRoot += '/';
  std::error_code error;
  std::filesystem::create_directories(mRoot, error);
  bool ready = std::filesystem::is_directory(mRoot, error);
  for (const int type : {DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS, DATA_TYPE_TASKS}) ready = ready && MakeDefaultFolder(type);
  if (!ready) {
    LogError(kOperation, "Cannot use the store folder " + mRoot);
    mInitError = IDS_DATABASE_LOAD_ERROR;
  }
}

bool FolderStore::MakeDefaultFolder(int dataType) {
  const std::string path = mRoot + DefaultFolderName(dataType);
  if (::mkdir(path.c_str(), 0700) == 0) {
    mMadeFolders.push_back(path + "/");
    return true;
  }
  return errno == EEXIST;
}

// ---- Folders

bool FolderStore::SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) {
  mFolder.clear();
  if (mInitError != 0 || dataType < DATA_TYPE_CONTACTS || dataType > DATA_TYPE_TASKS) return false;
  std::string folder = mRoot + DefaultFolderName(dataType);
  if (!folderEntryId.empty() && !storeId.empty()) {
    if (!IsPlainName(folderEntryId)) return false;
    folder = mRoot + folderEntryId;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return false;
  mFolder = folder + "/";
  mDataType = dataType;
  return true;
}

StoreContentKind FolderStore::GetContentKind() { return IsCalendarFolder() ? CONTENT_CALENDAR : CONTENT_CONTACT; }

bool FolderStore::IsItemName(const std::string& name) const {
  if (!IsPlainName(name)) return false;
  const std::string extension = ExtensionOf(name);
  if (IsCalendarFolder()) return extension == kCalendarExtension || extension == kICalendarExtension;
  return extension == kContactExtension || extension == kGroupExtension;
}

bool FolderStore::ItemExists(const std::string& entryId) {
  if (mFolder.empty() || !IsItemName(entryId)) return false;
  struct stat info {};
  return ::stat(PathOf(entryId).c_str(), &info) == 0;
}

// ---- Reading

int32_t FolderStore::LoadContent(const std::string& listName) {
  const int32_t status = CDatabaseObject::LoadContent(listName);
  if (status != kStoreOk) return status;
  if (IsVanishedFolder()) {
    LogError(kOperation, "The folder " + mFolder + " was missing while its index lists items; not synchronized, "
                         "so that its items are not deleted on the server");
    // Removed again (it is still empty), so that the next run finds it missing too.
    ::rmdir(mFolder.c_str());
    mCurrentItems.Clear();
    mSavedItems.Clear();
    return kStoreFail;
  }
  KeepUnreadableItems();
  return status;
}

bool FolderStore::IsVanishedFolder() {
  const auto made = std::find(mMadeFolders.begin(), mMadeFolders.end(), mFolder);
  if (made == mMadeFolders.end()) return false;
  // Loaded once with an empty index, the new folder is this store's own from then on.
  mMadeFolders.erase(made);
  return !mSavedItems.Empty();
}

// An item file that is there but could not be read this time keeps its indexed record, so that
// the index saved after the run still lists it: once readable again it is an update (or nothing),
// never a new item that the server would then hold twice.
void FolderStore::KeepUnreadableItems() {
  for (const CDataItem::Ptr& saved : mSavedItems.Items()) {
    if (mCurrentItems.Contains(saved->itemId) || !ItemExists(saved->itemId)) continue;
    LogError(kOperation, "Keeping the indexed record of " + PathOf(saved->itemId));
    CDataItem::Ptr kept = CDataItem::Create(saved->kind);
    *kept = *saved;
    mCurrentItems.Add(std::move(kept));
  }
}

int32_t FolderStore::ReadCurrentFolder() {
  if (mFolder.empty()) return kStoreFail;
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(mFolder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (IsItemName(name) && entry->is_regular_file(error)) names.push_back(name);
  }
  if (error) {
    LogError(kOperation, "Cannot list " + mFolder + ": " + error.message());
    return kStoreFail;
  }
  // Directory order is arbitrary; name order makes runs repeatable.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (CDataItem::Ptr record = ReadItem(name)) mCurrentItems.Add(std::move(record));
  }
  return kStoreOk;
}

CDataItem::Ptr FolderStore::ReadItem(const std::string& entryId) const {
  if (mFolder.empty() || !IsItemName(entryId)) return nullptr;
  const std::string path = PathOf(entryId);
  std::string text, error;
  const std::optional<std::string> stamp = StampOf(path);
  if (!stamp || !ReadWholeFile(path, text, kMaxItemBytes, &error)) {
    LogError(kOperation, "Cannot read " + path + (error.empty() ? "" : ": " + error));
    return nullptr;
  }
  CDataItem::Ptr record = ParseItem(entryId, text);
  if (!record) {
    LogError(kOperation, "Not an item of this folder, left out: " + path);
    return nullptr;
  }
  record->itemId = entryId;
  (*record)["PR_ENTRYID"] = entryId;
  (*record)[kStampKey] = *stamp;
  (*record)["PR_MESSAGE_CLASS"] = MessageClassOf(record->kind);
  return record;
}

CDataItem::Ptr FolderStore::ParseItem(const std::string& name, const std::string& text) const {
  if (IsCalendarFolder()) {
    CDataItem::Ptr record = CalendarRecordBuilder::Build(text);
    const int wantedKind = mDataType == DATA_TYPE_TASKS ? ITEM_TASK : ITEM_EVENT;
    return record && record->kind == wantedKind ? record : nullptr;
  }
  VCardContext context;
  PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) return nullptr;
  StoreWriteStatus writeStatus = WRITE_NOTHING;
  return BuildContactRecord(*card, ExtensionOf(name) == kGroupExtension, writeStatus);
}

// Members are kept as the card names them when they are files of this folder; a server
// reference resolves through mIdMap to the item the server sent earlier in the run.
CDataItem::Ptr FolderStore::BuildContactRecord(PVCard& card, bool group, StoreWriteStatus& writeStatus) const {
  if (!group) {
    auto record = CDataItem::Create(ITEM_CONTACT);
    writeStatus = static_cast<StoreWriteStatus>(ContactRecordBuilder(*record).Build(card));
    return record;
  }
  auto record = CDataItem::Create(ITEM_GROUP);
  const GroupCard read = GroupCard::Read(card);
  if (!read.displayName.empty()) (*record)["PR_DISPLAY_NAME"] = read.displayName;
  if (read.comment) (*record)["PR_COMMENT"] = *read.comment;
  for (const std::string& member : read.members) {
    std::string local = member;
    if (const std::string serverId = GroupCard::ServerIdOf(member); !serverId.empty()) {
      auto mapped = mIdMap.find(member);
      if (mapped == mIdMap.end()) mapped = mIdMap.find(serverId);
      local = mapped == mIdMap.end() ? std::string() : mapped->second;
    }
    struct stat info {};
    if (IsItemName(local) && ExtensionOf(local) == kContactExtension && ::stat(PathOf(local).c_str(), &info) == 0) {
      record->members.push_back(local);
    }
  }
  writeStatus = WRITE_DONE;
  return record;
}

std::optional<std::string> FolderStore::StampOf(const std::string& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return ModificationStampText(info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                               mConf.SyncWithOutlook() == LOCAL_APP_WINDOWS_CONTACTS);
}

// ---- Writing

std::string FolderStore::NewEntryId(const char* extension) const {
  std::string name;
  struct stat info {};
  do {
    name = FormatText("%016llx", {static_cast<unsigned long long>(mGenerator())}) + extension;
  } while (::stat(PathOf(name).c_str(), &info) == 0);
  return name;
}

bool FolderStore::WriteItem(const CDataItem& record, std::string& entryId, const char* newExtension) {
  if (mFolder.empty()) return false;
  struct stat info {};
  const bool existing = IsItemName(entryId) && ::stat(PathOf(entryId).c_str(), &info) == 0;
  const std::string text = record.ToText();
  const std::string id = existing ? entryId : NewEntryId(newExtension);
  std::string error;
  if (!WriteFileAtomically(PathOf(id), text, 0600, &error)) {
    LogError(kOperation, "Cannot write " + PathOf(id) + ": " + error);
    return false;
  }
  entryId = id;
  // The record the next run compares with is the file as written, stamp included, so the
  // server's own change is not sent back as a local one.
  CDataItem::Ptr written = ReadItem(id);
  if (!written) return false;
  if (const CDataItem::Ptr current = mCurrentItems.Find(id)) {
    *current = *written;
  } else {
    mCurrentItems.Add(std::move(written));
  }
  return true;
}

int32_t FolderStore::AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                       const std::string& contentType) {
  const bool group = contentType == kGroupContentType;
  newEntryId.clear();
  StoreWriteStatus writeStatus = WRITE_NOTHING;
  const CDataItem::Ptr record = IsCalendarFolder() ? nullptr : BuildContactRecord(card, group, writeStatus);
  if (!record || !WriteItem(*record, newEntryId, group ? kGroupExtension : kContactExtension)) {
    LogError("AddAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemAdded(serverId, newEntryId);
  LogDebug("AddAddressBookItem", "Item added");
  return kStoreOk;
}

int32_t FolderStore::UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                          const std::string& contentType, StoreWriteStatus& writeStatus) {
  const bool group = contentType == kGroupContentType;
  writeStatus = WRITE_NOTHING;
  StoreWriteStatus status = WRITE_NOTHING;
  const CDataItem::Ptr record = IsCalendarFolder() ? nullptr : BuildContactRecord(card, group, status);
  // A contact written over a group's file (or the reverse) would change the item's kind: it
  // becomes a new item of the right kind instead.
  if (record && ExtensionOf(entryId) != (group ? kGroupExtension : kContactExtension)) entryId.clear();
  if (!record || !WriteItem(*record, entryId, group ? kGroupExtension : kContactExtension)) {
    LogError("UpdateAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  writeStatus = status;
  NoteItemWritten(serverId, entryId);
  LogDebug("UpdateAddressBookItem", "Item updated");
  return kStoreOk;
}

int32_t FolderStore::AddCalendarItem(const std::string& vcalendarText, std::string& entryId) {
  const CDataItem::Ptr record = IsCalendarFolder() ? CalendarRecordBuilder::Build(vcalendarText) : nullptr;
  const int wantedKind = mDataType == DATA_TYPE_TASKS ? ITEM_TASK : ITEM_EVENT;
  if (!record || record->kind != wantedKind || !WriteItem(*record, entryId, kCalendarExtension)) {
    LogError("AddCalendarItem", "CalendarItem2CAL error");
    return kStoreFail;
  }
  NoteItemAdded("", entryId);
  LogDebug("AddCalendarItem", "Item added");
  return kStoreOk;
}

bool FolderStore::RemoveItem(const std::string& entryId) {
  if (mFolder.empty()) return false;
  if (IsItemName(entryId) && std::remove(PathOf(entryId).c_str()) != 0 && errno != ENOENT) {
    LogError("RemoveItem", "Cannot delete " + PathOf(entryId));
    return false;
  }
  NoteItemRemoved(entryId);
  return true;
}
