// Test store: folders, identifiers, change stamps, loading, existence and deletion, mirror files.
#include "tests/support/TestStore.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "common/AtomicFile.h"
#include "common/Format.h"
#include "config/CLog.h"

namespace {

constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";

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

// The "%Y%m%d" date that decides whether a calendar item is inside the window; "" when none.
std::string WindowDate(const CDataItem& item) {
  const std::string& due = item.Property("VC_DUE");
  const std::string& date = item.kind == ITEM_TASK && !due.empty() ? due : item.Property("VC_DTSTART");
  return date.substr(0, 8);
}

// Mirror file lines: fields separated by tabs; tabs, line ends and backslashes escaped.
std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

TestStore::TestStore(CConf& conf, Options options) : CDatabaseObject(conf), mOptions(std::move(options)), mClock(mOptions.clock) {
  for (const int type : {DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS, DATA_TYPE_TASKS}) DefaultFolder(type);
  LoadMirror();
}

TestStore::~TestStore() = default;

// ---- Local changes

std::string TestStore::AddLocal(int dataType, int kind, std::map<std::string, std::string> properties,
                                std::vector<std::string> members) {
  auto item = CDataItem::Create(kind);
  item->properties = std::move(properties);
  item->members = std::move(members);
  return Store(DefaultFolder(dataType), std::move(item));
}

std::string TestStore::AddLocalContact(const std::string& displayName) {
  return AddLocal(DATA_TYPE_CONTACTS, ITEM_CONTACT, {{"PR_DISPLAY_NAME", displayName}});
}

std::string TestStore::AddLocalGroup(const std::string& displayName, std::vector<std::string> members) {
  return AddLocal(DATA_TYPE_CONTACTS, ITEM_GROUP, {{"PR_DISPLAY_NAME", displayName}}, std::move(members));
}

std::string TestStore::AddLocalEvent(const std::string& summary, const std::string& start, const std::string& end) {
  return AddLocal(DATA_TYPE_EVENTS, ITEM_EVENT,
                  {{"VC_SUMMARY", summary}, {"VC_DTSTART", start}, {"VC_DTEND", end}, {"VC_CATEGORIES", "Appointment"}});
}

std::string TestStore::AddLocalTask(const std::string& summary, const std::string& due) {
  return AddLocal(DATA_TYPE_TASKS, ITEM_TASK, {{"VC_SUMMARY", summary}, {"VC_DUE", due}, {"PERCENT-COMPLETE", "0"}});
}

bool TestStore::EditLocal(const std::string& id, const std::string& key, const std::string& value) {
  Folder* folder = FolderOf(id);
  if (folder == nullptr) return false;
  auto item = std::make_shared<CDataItem>(*folder->items[id]);
  (*item)[key] = value;
  Store(*folder, std::move(item));
  return true;
}

bool TestStore::SetLocalMembers(const std::string& groupId, std::vector<std::string> members) {
  Folder* folder = FolderOf(groupId);
  if (folder == nullptr) return false;
  auto item = std::make_shared<CDataItem>(*folder->items[groupId]);
  item->members = std::move(members);
  Store(*folder, std::move(item));
  return true;
}

bool TestStore::TouchLocal(const std::string& id) {
  Folder* folder = FolderOf(id);
  if (folder == nullptr) return false;
  Store(*folder, std::make_shared<CDataItem>(*folder->items[id]));
  return true;
}

bool TestStore::SetLocalStamp(const std::string& id, const std::string& stamp) {
  Folder* folder = FolderOf(id);
  if (folder == nullptr) return false;
  (*folder->items[id])[kStampKey] = stamp;
  MirrorItem(*folder, *folder->items[id]);
  return true;
}

bool TestStore::DeleteLocal(const std::string& id) {
  if (FolderOf(id) == nullptr) return false;
  Erase(id);
  return true;
}

// ---- Inspection and controls

CDataItem::Ptr TestStore::Held(const std::string& id) const {
  const CDataItem::Ptr item = Find(id);
  return item ? std::make_shared<CDataItem>(*item) : nullptr;
}

std::vector<std::string> TestStore::HeldIds(int dataType) const {
  const auto folder = mFolders.find(FolderKey(dataType, "", ""));
  return folder == mFolders.end() ? std::vector<std::string>{} : folder->second.order;
}

void TestStore::AddFolder(int dataType, const std::string& entryId, const std::string& storeId) {
  Folder& folder = mFolders[FolderKey(dataType, entryId, storeId)];
  folder.dataType = dataType;
  folder.entryId = entryId;
  folder.storeId = storeId;
}

void TestStore::SetDateWindow(const std::string& firstDay, const std::string& lastDay) {
  mFirstDay = firstDay;
  mLastDay = lastDay;
}

std::string TestStore::StampAt(std::time_t seconds) const {
  return ModificationStampText(seconds, 0, mOptions.stamps == StampForm::UnixSeconds);
}

// ---- The store interface

bool TestStore::SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) {
  mCurrent = nullptr;
  if (!mOpen) return false;
  const auto folder = mFolders.find(FolderKey(dataType, folderEntryId, storeId));
  if (folder == mFolders.end()) return false;
  mCurrent = &folder->second;
  return true;
}

StoreContentKind TestStore::GetContentKind() { return mCurrent != nullptr && IsCalendar(*mCurrent) ? CONTENT_CALENDAR : CONTENT_CONTACT; }

// Only calendar folders leave items out of mCurrentItems; a contact missing from the list is gone.
bool TestStore::ItemExists(const std::string& entryId) {
  return mCurrent != nullptr && IsCalendar(*mCurrent) && mCurrent->items.count(entryId) != 0;
}

bool TestStore::RemoveItem(const std::string& entryId) {
  ThrowIfAutomationRefuses();
  if (!mOpen || mFailWrites || mCurrent == nullptr) return false;
  const auto held = mCurrent->items.find(entryId);
  if (held != mCurrent->items.end()) {
    if (IsCalendar(*mCurrent) && !InDateWindow(*held->second)) {
      LogDebug("TestStore::RemoveItem", "Event is outside of the period, not deleting");
    } else {
      Erase(entryId);
    }
  }
  NoteItemRemoved(entryId);
  return true;
}

int32_t TestStore::ReadCurrentFolder() {
  if (mFailLoadStatus != kStoreOk) {
    const int32_t status = mFailLoadStatus;
    mFailLoadStatus = kStoreOk;
    return status;
  }
  if (!mOpen || mCurrent == nullptr) return kStoreFail;
  for (const std::string& id : mCurrent->order) {
    const CDataItem& item = *mCurrent->items.at(id);
    if (IsCalendar(*mCurrent) && !InDateWindow(item)) continue;
    mCurrentItems.Add(std::make_shared<CDataItem>(item));
  }
  return kStoreOk;
}

// ---- Internals

std::string TestStore::FolderKey(int dataType, const std::string& entryId, const std::string& storeId) {
  if (entryId.empty() || storeId.empty()) return "default\t" + std::to_string(dataType);
  return "named\t" + entryId + "\t" + storeId;
}

TestStore::Folder& TestStore::DefaultFolder(int dataType) {
  Folder& folder = mFolders[FolderKey(dataType, "", "")];
  folder.dataType = dataType;
  return folder;
}

TestStore::Folder* TestStore::FolderOf(const std::string& id) {
  for (auto& [key, folder] : mFolders) {
    if (folder.items.count(id) != 0) return &folder;
  }
  return nullptr;
}

const TestStore::Folder* TestStore::FolderOf(const std::string& id) const {
  return const_cast<TestStore*>(this)->FolderOf(id);
}

CDataItem::Ptr TestStore::Find(const std::string& id) const {
  const Folder* folder = FolderOf(id);
  return folder == nullptr ? nullptr : folder->items.at(id);
}

bool TestStore::InDateWindow(const CDataItem& item) const {
  const std::string date = WindowDate(item);
  if (date.empty()) return true;
  return (mFirstDay.empty() || date >= mFirstDay) && (mLastDay.empty() || date <= mLastDay);
}

std::string TestStore::NewId() {
  std::string id;
  do {
    id = FormatText("00000000%08X", {mNextId++});
  } while (Find(id) != nullptr);
  return id;
}

std::string TestStore::NextStamp() { return StampAt(++mClock); }

std::string TestStore::Store(Folder& folder, CDataItem::Ptr item) {
  const bool isNew = item->itemId.empty() || folder.items.count(item->itemId) == 0;
  if (item->itemId.empty()) item->itemId = NewId();
  (*item)["PR_ENTRYID"] = item->itemId;
  (*item)[kStampKey] = NextStamp();
  if (item->Property("PR_MESSAGE_CLASS").empty()) (*item)["PR_MESSAGE_CLASS"] = MessageClassOf(item->kind);
  const std::string id = item->itemId;
  if (isNew) folder.order.push_back(id);
  folder.items[id] = std::move(item);
  MirrorItem(folder, *folder.items[id]);
  MirrorState();
  return id;
}

void TestStore::Erase(const std::string& id) {
  Folder* folder = FolderOf(id);
  if (folder == nullptr) return;
  const std::string key = id;
  folder->items.erase(key);
  std::erase(folder->order, key);
  MirrorErase(key);
}

void TestStore::RefreshCurrentRecord(const std::string& id) {
  const CDataItem::Ptr held = Find(id);
  if (!held) return;
  if (const CDataItem::Ptr record = mCurrentItems.Find(id)) {
    *record = *held;
  } else {
    mCurrentItems.Add(std::make_shared<CDataItem>(*held));
  }
}

// ---- Mirror folder: one "<id>.item" file per item and "store.state" with the clock and the
// next identifier number.

void TestStore::LoadMirror() {
  const std::string& root = mOptions.mirrorFolder;
  if (root.empty()) return;
  std::filesystem::create_directories(root);
  std::string state;
  if (ReadWholeFile(root + "/store.state", state)) {
    const auto fields = SplitTabs(Lines(state).empty() ? "" : Lines(state).front());
    if (fields.size() == 2) {
      mClock = static_cast<std::time_t>(std::stoll(fields[0]));
      mNextId = static_cast<unsigned>(std::stoul(fields[1]));
    }
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (entry.path().extension() == ".item") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::string text;
    if (!ReadWholeFile(path.string(), text)) throw std::runtime_error("cannot read " + path.string());
    auto item = CDataItem::Create();
    item->itemId = path.stem().string();
    std::string folderKey = FolderKey(DATA_TYPE_CONTACTS, "", "");
    int dataType = DATA_TYPE_CONTACTS;
    std::string entryId, storeId;
    for (const std::string& line : Lines(text)) {
      const auto fields = SplitTabs(line);
      if (fields[0] == "folder" && fields.size() == 4) {
        dataType = std::stoi(fields[1]);
        entryId = Unescape(fields[2]);
        storeId = Unescape(fields[3]);
      } else if (fields[0] == "kind" && fields.size() == 2) {
        item->kind = std::stoi(fields[1]);
      } else if (fields[0] == "member" && fields.size() == 2) {
        item->members.push_back(Unescape(fields[1]));
      } else if (fields[0] == "property" && fields.size() == 3) {
        (*item)[Unescape(fields[1])] = Unescape(fields[2]);
      }
    }
    AddFolder(dataType, entryId, storeId);
    Folder& folder = mFolders[FolderKey(dataType, entryId, storeId)];
    folder.order.push_back(item->itemId);
    folder.items[item->itemId] = std::move(item);
  }
}

void TestStore::MirrorItem(const Folder& folder, const CDataItem& item) const {
  if (mOptions.mirrorFolder.empty()) return;
  std::string text = FormatText("folder\t%d\t%s\t%s\nkind\t%d\n", {folder.dataType, Escape(folder.entryId), Escape(folder.storeId), item.kind});
  for (const auto& member : item.members) text += "member\t" + Escape(member) + "\n";
  for (const auto& [key, value] : item.properties) text += "property\t" + Escape(key) + "\t" + Escape(value) + "\n";
  const std::string path = mOptions.mirrorFolder + "/" + item.itemId + ".item";
  if (!WriteFileAtomically(path, text)) throw std::runtime_error("cannot write " + path);
}

void TestStore::MirrorErase(const std::string& id) const {
  if (mOptions.mirrorFolder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(mOptions.mirrorFolder + "/" + id + ".item", ignored);
}

void TestStore::MirrorState() const {
  if (mOptions.mirrorFolder.empty()) return;
  const std::string state = FormatText("%lld\t%u\n", {static_cast<long long>(mClock), mNextId});
  if (!WriteFileAtomically(mOptions.mirrorFolder + "/store.state", state)) throw std::runtime_error("cannot write the store state");
}

void WriteIndexOfAnEarlierRun(const std::string& configFolder, const std::string& list) {
  CDataItemList index;
  index.SetPath(configFolder, list);
  auto earlier = CDataItem::Create();
  earlier->itemId = "earlier";
  index.Add(earlier);
  index.SaveFile();
}
