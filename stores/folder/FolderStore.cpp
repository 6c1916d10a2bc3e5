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
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCalItemReader.h"

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
  mOccurrenceFiles.clear();
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

bool FolderStore::IsItemKey(const std::string& key) const {
  const std::string file = SeriesKeyOf(key);
  if (!IsItemName(file)) return false;
  if (file.size() == key.size()) return true;
  const std::string_view date = std::string_view(key).substr(file.size() + 1);
  return IsCalendarFolder() && date.size() == 8 && date.find_first_not_of("0123456789") == std::string_view::npos;
}

bool FolderStore::ItemExists(const std::string& entryId) {
  if (mFolder.empty() || !IsItemKey(entryId)) return false;
  struct stat info {};
  if (::stat(PathOf(entryId).c_str(), &info) != 0) return false;
  if (entryId == SeriesKeyOf(entryId)) return true;
  // A changed occurrence exists while its file holds it, or cannot be read to tell.
  bool readable = false;
  const std::vector<CDataItem::Ptr> records = ReadRecords(SeriesKeyOf(entryId), &readable);
  return !readable || std::any_of(records.begin(), records.end(), [&entryId](const CDataItem::Ptr& record) {
    return record->itemId == entryId;
  });
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
  KeepUnreadableItems(mFolder);
  return status;
}

bool FolderStore::IsVanishedFolder() {
  const auto made = std::find(mMadeFolders.begin(), mMadeFolders.end(), mFolder);
  if (made == mMadeFolders.end()) return false;
  // Loaded once with an empty index, the new folder is this store's own from then on.
  mMadeFolders.erase(made);
  return !mSavedItems.Empty();
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
  // Packed as read: the folder's records are compared and saved, and only the changed ones sent.
  mOccurrenceFiles.clear();
  std::vector<std::pair<std::string, std::vector<CDataItem::Ptr>>> files;
  std::unordered_map<std::string, std::string> seriesFileOfUid;
  std::unordered_map<std::string, std::string> uidOfOccurrences;  // files without a series
  const auto packed = [](CDataItem::Ptr record) {
    record->Pack();
    return record;
  };
  for (const std::string& name : names) {
    std::string uid;
    std::vector<CDataItem::Ptr> records = ReadFileRecords(name, name, nullptr, &uid);
    const bool series = std::any_of(records.begin(), records.end(), [](const CDataItem::Ptr& r) { return !IsChangedOccurrence(*r); });
    if (series && !uid.empty()) seriesFileOfUid.emplace(uid, name);
    files.emplace_back(name, std::move(records));
    if (!series) uidOfOccurrences[name] = uid;
  }
  // Files of changed occurrences alone join the series of their UID held in another file.
  std::vector<CDataItem::Ptr> joined;
  for (auto& [name, records] : files) {
    const auto uid = uidOfOccurrences.find(name);
    const auto series = uid == uidOfOccurrences.end() || uid->second.empty() ? seriesFileOfUid.end() : seriesFileOfUid.find(uid->second);
    if (series == seriesFileOfUid.end()) {
      for (CDataItem::Ptr& record : records) mCurrentItems.Add(packed(std::move(record)));
      continue;
    }
    mOccurrenceFiles[series->second].push_back(name);
    for (CDataItem::Ptr& record : ReadFileRecords(name, series->second)) joined.push_back(std::move(record));
  }
  for (CDataItem::Ptr& record : joined) {
    if (!mCurrentItems.Contains(record->itemId)) mCurrentItems.Add(packed(std::move(record)));
  }
  return kStoreOk;
}

CDataItem::Ptr FolderStore::ReadItem(const std::string& entryId) const {
  if (mFolder.empty() || !IsItemKey(entryId)) return nullptr;
  for (CDataItem::Ptr& record : ReadRecords(SeriesKeyOf(entryId))) {
    if (record->itemId == entryId) return std::move(record);
  }
  return nullptr;
}

std::vector<CDataItem::Ptr> FolderStore::ReadRecords(const std::string& file, bool* readable) const {
  std::vector<CDataItem::Ptr> records = ReadFileRecords(file, file, readable);
  const auto others = mOccurrenceFiles.find(file);
  if (others == mOccurrenceFiles.end()) return records;
  for (const std::string& other : others->second) {
    for (CDataItem::Ptr& record : ReadFileRecords(other, file)) {
      const bool taken = std::any_of(records.begin(), records.end(), [&record](const CDataItem::Ptr& r) { return r->itemId == record->itemId; });
      if (!taken) records.push_back(std::move(record));
    }
  }
  return records;
}

std::vector<CDataItem::Ptr> FolderStore::ReadFileRecords(const std::string& file, const std::string& series, bool* readable,
                                                         std::string* uid) const {
  if (readable != nullptr) *readable = false;
  if (mFolder.empty() || !IsItemName(file)) return {};
  const std::string path = PathOf(file);
  std::string text, error;
  const std::optional<std::string> stamp = StampOf(path);
  if (!stamp || !ReadWholeFile(path, text, kMaxItemBytes, &error)) {
    LogError(kOperation, "Cannot read " + path + (error.empty() ? "" : ": " + error));
    return {};
  }
  if (readable != nullptr) *readable = true;
  if (uid != nullptr && IsCalendarFolder()) *uid = FindRecurrenceId(text).uid;
  std::vector<CDataItem::Ptr> records = ParseItem(file, text);
  if (records.empty()) {
    LogError(kOperation, "Not an item of this folder, left out: " + path);
    return {};
  }
  // Every record of a file shares its identifier (the series' UID) and its stamp; a changed
  // occurrence's key adds its date. A second occurrence of the same date is left out. A file of
  // changed occurrences alone read for the series in `series` takes that file's identifier.
  std::vector<CDataItem::Ptr> kept;
  for (CDataItem::Ptr& record : records) {
    const bool occurrence = IsChangedOccurrence(*record);
    if (series != file && !occurrence) continue;
    const std::string key = occurrence ? ChangedOccurrenceKey(series, *record) : file;
    const bool taken = std::any_of(kept.begin(), kept.end(), [&key](const CDataItem::Ptr& other) { return other->itemId == key; });
    if (key.empty() || taken) continue;
    record->itemId = key;
    (*record)["PR_ENTRYID"] = series;
    (*record)[kStampKey] = *stamp;
    (*record)["PR_MESSAGE_CLASS"] = MessageClassOfKind(record->kind);
    kept.push_back(std::move(record));
  }
  return kept;
}

std::vector<CDataItem::Ptr> FolderStore::ParseItem(const std::string& name, const std::string& text) const {
  if (IsCalendarFolder()) {
    std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(text);
    const int wantedKind = mDataType == DATA_TYPE_TASKS ? ITEM_TASK : ITEM_EVENT;
    if (!records.empty() && records.front()->kind != wantedKind) records.clear();
    return records;
  }
  VCardContext context;
  PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) return {};
  StoreWriteStatus writeStatus = WRITE_NOTHING;
  CDataItem::Ptr record = BuildContactRecord(*card, ExtensionOf(name) == kGroupExtension, writeStatus);
  if (!record) return {};
  return {record};
}

// Members are kept as the card names them when they are files of this folder; a server
// reference resolves through mIdMap to the item the server sent earlier in the run.
CDataItem::Ptr FolderStore::BuildContactRecord(PVCard& card, bool group, StoreWriteStatus& writeStatus) const {
  if (!group) {
    auto record = CDataItem::Create(ITEM_CONTACT);
    writeStatus = ContactRecordBuilder(*record).Build(card) ? WRITE_NAME_COMPLETED : WRITE_DONE;
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
  return WriteRecords({std::make_shared<CDataItem>(record)}, entryId, newExtension);
}

bool FolderStore::WriteRecords(const std::vector<CDataItem::Ptr>& records, std::string& file, const char* newExtension) {
  if (mFolder.empty() || records.empty()) return false;
  struct stat info {};
  const bool existing = IsItemName(file) && ::stat(PathOf(file).c_str(), &info) == 0;
  std::string id = existing ? file : std::string();
  std::string text;
  if (records.size() == 1) {
    text = records.front()->ToText();
    if (id.empty()) id = NewEntryId(newExtension);
  } else {
    // A series and its changed occurrences share the file's name as their UID.
    if (id.empty()) id = NewEntryId(newExtension);
    for (const CDataItem::Ptr& record : records) (*record)["PR_ENTRYID"] = id;
    text = ToVCalendar(records);
  }
  std::string error;
  if (!WriteFileAtomically(PathOf(id), text, 0600, &error)) {
    LogError(kOperation, "Cannot write " + PathOf(id) + ": " + error);
    return false;
  }
  file = id;
  RemoveOccurrenceFiles(id);
  // The records the next run compares with are the file as written, stamps included, so the
  // server's own change is not sent back as a local one.
  std::vector<CDataItem::Ptr> written = ReadRecords(id);
  if (written.empty()) return false;
  std::vector<std::string> stale;
  for (const CDataItem::Ptr& current : mCurrentItems.Items()) {
    const bool ofFile = SeriesKeyOf(current->itemId) == id;
    const bool kept = std::any_of(written.begin(), written.end(), [&current](const CDataItem::Ptr& record) {
      return record->itemId == current->itemId;
    });
    if (ofFile && !kept) stale.push_back(current->itemId);
  }
  for (const std::string& key : stale) mCurrentItems.Remove(key);
  for (CDataItem::Ptr& record : written) {
    if (const CDataItem::Ptr current = mCurrentItems.Find(record->itemId)) {
      *current = *record;
    } else {
      mCurrentItems.Add(std::move(record));
    }
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
  std::vector<CDataItem::Ptr> records = IsCalendarFolder() ? CalendarRecordBuilder::BuildAll(vcalendarText)
                                                           : std::vector<CDataItem::Ptr>();
  const int wantedKind = mDataType == DATA_TYPE_TASKS ? ITEM_TASK : ITEM_EVENT;
  const bool written = !records.empty() && records.front()->kind == wantedKind &&
                       (IsChangedOccurrence(*records.front())
                            ? WriteChangedOccurrences(records, FindRecurrenceId(vcalendarText).uid, entryId)
                            : WriteSeries(records, FindRecurrenceId(vcalendarText).uid, entryId));
  if (!written) {
    LogError("AddCalendarItem", "CalendarItem2CAL error");
    return kStoreFail;
  }
  NoteItemAdded("", entryId);
  LogDebug("AddCalendarItem", "Item added");
  return kStoreOk;
}

// A series (or a single event or task), with the changed occurrences its text holds; the changed
// occurrences its file already holds stay unless the text changes the same ones.
bool FolderStore::WriteSeries(std::vector<CDataItem::Ptr> records, const std::string& uid, std::string& entryId) {
  std::string file = SeriesKeyOf(entryId);
  bool readable = false;
  for (CDataItem::Ptr& old : ReadRecords(file, &readable)) {
    if (!IsChangedOccurrence(*old)) continue;
    const bool replaced = std::any_of(records.begin(), records.end(), [&file, &old](const CDataItem::Ptr& record) {
      return IsChangedOccurrence(*record) && ChangedOccurrenceKey(file, *record) == old->itemId;
    });
    if (!replaced) records.push_back(std::move(old));
  }
  if (!WriteRecords(records, file, kCalendarExtension)) return false;
  entryId = file;
  if (!uid.empty()) mSeriesByUid[uid] = file;
  return true;
}

// Changed occurrences go into the file of their series: the one `entryId` names, else the one
// of their UID (a series written earlier in this run, or one whose file name the UID is). Without
// a series they are kept in a file of their own.
bool FolderStore::WriteChangedOccurrences(const std::vector<CDataItem::Ptr>& occurrences, const std::string& uid,
                                          std::string& entryId) {
  std::string file = SeriesKeyOf(entryId);
  if (file.empty() || !ItemExists(file)) file = SeriesFileOfUid(uid);
  bool readable = false;
  std::vector<CDataItem::Ptr> records = file.empty() ? std::vector<CDataItem::Ptr>() : ReadRecords(file, &readable);
  if (!file.empty() && records.empty()) {
    if (ItemExists(file) && !readable) return false;  // nothing is written over a file that cannot be read now
    file.clear();  // no series there: the changed occurrences get a file of their own
  }
  for (const CDataItem::Ptr& occurrence : occurrences) {
    const std::string key = ChangedOccurrenceKey(file, *occurrence);
    std::erase_if(records, [&key](const CDataItem::Ptr& record) { return record->itemId == key; });
    records.push_back(occurrence);
  }
  if (!WriteRecords(records, file, kCalendarExtension)) return false;
  entryId = ChangedOccurrenceKey(file, *occurrences.front());
  return !entryId.empty();
}

std::string FolderStore::SeriesFileOfUid(const std::string& uid) const {
  if (uid.empty()) return {};
  if (const auto found = mSeriesByUid.find(uid); found != mSeriesByUid.end() && IsItemName(found->second)) {
    return found->second;
  }
  const CDataItem::Ptr series = mCurrentItems.Find(uid);
  return series && !IsChangedOccurrence(*series) && IsItemName(uid) ? uid : std::string();
}

bool FolderStore::RemoveItem(const std::string& entryId) {
  if (mFolder.empty()) return false;
  if (IsItemKey(entryId) && entryId != SeriesKeyOf(entryId)) return RemoveChangedOccurrence(entryId);
  if (IsItemName(entryId) && std::remove(PathOf(entryId).c_str()) != 0 && errno != ENOENT) {
    LogError("RemoveItem", "Cannot delete " + PathOf(entryId));
    return false;
  }
  RemoveOccurrenceFiles(entryId);
  NoteItemRemoved(entryId);
  return true;
}

// Once the series' own file holds (or no longer holds) its changed occurrences, the files that
// held some of them beside it go.
void FolderStore::RemoveOccurrenceFiles(const std::string& seriesFile) {
  const auto others = mOccurrenceFiles.find(seriesFile);
  if (others == mOccurrenceFiles.end()) return;
  for (const std::string& other : others->second) {
    if (std::remove(PathOf(other).c_str()) != 0 && errno != ENOENT) LogError(kOperation, "Cannot delete " + PathOf(other));
  }
  mOccurrenceFiles.erase(others);
}

// The series keeps its other changed occurrences; a file left without records is deleted.
bool FolderStore::RemoveChangedOccurrence(const std::string& key) {
  std::string file = SeriesKeyOf(key);
  bool readable = false;
  std::vector<CDataItem::Ptr> records = ReadRecords(file, &readable);
  if (!readable && ItemExists(file)) {
    LogError("RemoveItem", "Cannot read " + PathOf(file) + " to delete " + key + " from it");
    return false;
  }
  // Only a file that still holds the changed occurrence is changed.
  if (std::erase_if(records, [&key](const CDataItem::Ptr& record) { return record->itemId == key; }) == 0) {
    NoteItemRemoved(key);
    return true;
  }
  const bool done = records.empty() ? std::remove(PathOf(file).c_str()) == 0 || errno == ENOENT
                                    : WriteRecords(records, file, kCalendarExtension);
  if (!done) {
    LogError("RemoveItem", "Cannot delete " + key + " from " + PathOf(file));
    return false;
  }
  if (records.empty()) NoteItemRemoved(file);
  NoteItemRemoved(key);
  return true;
}
