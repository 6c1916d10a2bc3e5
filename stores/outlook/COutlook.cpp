// The Outlook store: connection, folders, the store slots and the dispatch of writes.
#include "stores/outlook/COutlook.h"

#include <cctype>
#include <cstdint>
#include <optional>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringIds.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "platform/automation/AutomationError.h"
#include "pim/CalendarRecordBuilder.h"
#include "platform/automation/ObjectFactory.h"

namespace {

constexpr const char* kConstructOperation = "COutlook::COutlook";
constexpr const char* kLoadOperation = "LoadContent";

bool IsContactFolderType(int32_t itemType) { return itemType == olContactItem || itemType == olDistributionListItem; }
bool IsCalendarFolderType(int32_t itemType) { return itemType == olAppointmentItem || itemType == olTaskItem; }

// Entry and store identifiers are hex text: letter case does not matter.
bool SameIdentifier(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string DescriptionOf(const AutomationError& error) {
  return error.Description().empty() ? error.CodeText() : error.Description();
}

// The item kind a folder kind lists (olFolderContacts -> olContactItem, ...); -1 for others.
int32_t ItemTypeOfFolderKind(int folderKind) {
  switch (folderKind) {
    case olFolderContacts: return olContactItem;
    case olFolderCalendar: return olAppointmentItem;
    case olFolderTasks: return olTaskItem;
    default: return -1;
  }
}

// The folder's name after the names of its ancestor folders, joined by "\".
std::string FullPathOf(const outlook::MAPIFolder& folder) {
  std::string path = folder.GetName();
  outlook::MAPIFolder parent(folder.GetParent());
  while (parent && parent.GetClass() == olFolder) {
    path = parent.GetName() + "\\" + path;
    parent = outlook::MAPIFolder(parent.GetParent());
  }
  return path;
}

outlook::Application CreateApplication(const ObjectFactory& factory) {
  std::optional<AutomationError> last;
  for (const char* progId : COutlook::kProgIds) {
    try {
      return outlook::Application(factory.CreateObject(progId));
    } catch (const AutomationError& error) {
      last = error;
    }
  }
  const std::string text = "CreateDispatch() failed " + last->CodeText() + " - " + DescriptionOf(*last);
  LogError(kConstructOperation, text);
  throw COutlookException(text);
}

}  // namespace

COutlook::COutlook(CConf& conf, Prompt& prompt, const ObjectFactory& factory) : CDatabaseObject(conf), mPrompt(prompt) {
  LogDebug(kConstructOperation, "Begin");
  mApplication = CreateApplication(factory);
  try {
    mNamespace = mApplication.GetNamespace("MAPI");
    mNamespace.Logon();
  } catch (const AutomationError& error) {
    const std::string text = "Logon failed " + error.CodeText() + " - " + DescriptionOf(error);
    LogError(kConstructOperation, text);
    throw COutlookException(text);
  }
  mInitialized = true;
  LogDebug(kConstructOperation, "End");
}

COutlook::~COutlook() {
  LogDebug("COutlook::~COutlook", "Begin");
  if (!mInitialized) return;
  try {
    mNamespace.Logoff();
  } catch (const AutomationError& error) {
    LogError("COutlook::~COutlook", error.what());
  }
}

// ---- Folders

void COutlook::EnumerateFolders(int folderKind, std::vector<CSyncLink>& folders) {
  LogDebug("COutlook::EnumerateFolders", "Begin");
  folders.clear();
  if (!mInitialized) return;
  try {
    AddFolderEntry(mNamespace.GetDefaultFolder(folderKind), folders);
    WalkFolders(mNamespace.GetFolders(), ItemTypeOfFolderKind(folderKind), folders);
  } catch (const AutomationError& error) {
    LogError("COutlook::EnumerateFolders", error.what());
  }
  std::vector<bool> duplicate(folders.size(), false);
  for (size_t i = 0; i < folders.size(); ++i) {
    for (size_t j = i + 1; j < folders.size(); ++j) {
      if (folders[i].mLocalName == folders[j].mLocalName) duplicate[i] = duplicate[j] = true;
    }
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    if (duplicate[i]) folders[i].mLocalName = folders[i].mLocalPath;
  }
}

void COutlook::AddFolderEntry(const outlook::MAPIFolder& folder, std::vector<CSyncLink>& folders) {
  CSyncLink entry;
  entry.mLocalEntryId = folder.GetEntryID();
  entry.mLocalStoreId = folder.GetStoreID();
  entry.mLocalName = folder.GetName();
  entry.mLocalPath = FullPathOf(folder);
  folders.push_back(std::move(entry));
}

void COutlook::WalkFolders(const outlook::Folders& children, int itemType, std::vector<CSyncLink>& folders) {
  const int32_t count = children.GetCount();
  for (int32_t i = 1; i <= count; ++i) {
    const outlook::MAPIFolder folder = children.Item(i);
    if (folder.GetDefaultItemType() == itemType) {
      const bool isDefault = !folders.empty() && SameIdentifier(folders.front().mLocalEntryId, folder.GetEntryID()) &&
                             SameIdentifier(folders.front().mLocalStoreId, folder.GetStoreID());
      if (!isDefault) AddFolderEntry(folder, folders);
    }
    WalkFolders(folder.GetFolders(), itemType, folders);
  }
}

bool COutlook::SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) {
  if (!mNamespace) return false;
  try {
    if (!folderEntryId.empty() && !storeId.empty()) {
      mCurrentFolder = mNamespace.GetFolderFromID(folderEntryId, storeId);
    } else {
      const int kind = dataType == DATA_TYPE_EVENTS ? olFolderCalendar : dataType == DATA_TYPE_TASKS ? olFolderTasks : olFolderContacts;
      mCurrentFolder = mNamespace.GetDefaultFolder(kind);
    }
    return true;
  } catch (const AutomationError& error) {
    mCurrentFolder = outlook::MAPIFolder();
    throw COutlookException(FormatText(LoadString(IDS_OUTLOOK_REFUSES), {DescriptionOf(error)}));
  } catch (const std::exception& error) {
    mCurrentFolder = outlook::MAPIFolder();
    LogError("COutlook::SetCurrentFolder", FormatText("Exception %x: %s", {static_cast<unsigned>(kStoreFail), error.what()}));
    return false;
  }
}

int32_t COutlook::CurrentItemType() {
  if (!mCurrentFolder) return -1;
  return mCurrentFolder.GetDefaultItemType();
}

StoreContentKind COutlook::GetContentKind() {
  return IsCalendarFolderType(CurrentItemType()) ? CONTENT_CALENDAR : CONTENT_CONTACT;
}

outlook::OutlookItem COutlook::GetItem(const std::string& entryId) {
  if (!mCurrentFolder || entryId.empty()) return {};
  try {
    outlook::OutlookItem item(mNamespace.GetItemFromID(entryId, mCurrentFolder.GetStoreID()));
    const outlook::MAPIFolder parent(item.GetParent());
    if (!SameIdentifier(parent.GetEntryID(), mCurrentFolder.GetEntryID())) return {};
    return item;
  } catch (const AutomationError& error) {
    LogDebug("COutlook::GetItem", std::string(error.what()) + ": " + entryId);
    return {};
  }
}

bool COutlook::ItemExists(const std::string& entryId) {
  if (!IsCalendarFolderType(CurrentItemType())) return false;
  const outlook::OutlookItem item = GetItem(SeriesKeyOf(entryId));
  if (!item || SeriesKeyOf(entryId) == entryId) return static_cast<bool>(item);
  // A changed occurrence exists while its series holds it changed: one the user deleted (or the
  // series no longer has) is gone, and the server is told.
  return HasChangedOccurrence(outlook::AppointmentItem(item.Object()), entryId.substr(entryId.find('/') + 1));
}

// ---- Loading

int32_t COutlook::LoadContent(const std::string& listName) {
  mInitError = 0;
  int32_t status = CDatabaseObject::LoadContent(listName);
  if (status == kStoreOk && CurrentItemType() == olAppointmentItem) CarryStandInUids();
  if (status != kStoreOk || !IsContactFolderType(CurrentItemType())) return status;
  LoadMervaleFields();
  if (mInitError != 0) {
    status = kStoreFail;
    ReportLoadFailure(status);
  }
  return status;
}

int32_t COutlook::ReadCurrentFolder() {
  mOccurrenceKeys.clear();
  mOccurrenceKeysIndexed = false;
  if (!mInitialized) {
    LogError(kLoadOperation, "Outlook is not initialized");
    return kStoreFail;
  }
  int32_t status = kStoreFail;
  try {
    const int32_t itemType = CurrentItemType();
    if (IsContactFolderType(itemType)) {
      status = LoadContacts(mCurrentItems);
    } else if (itemType == olAppointmentItem) {
      status = LoadEvents(mCurrentItems);
    } else if (itemType == olTaskItem) {
      status = LoadTasks(mCurrentItems);
    } else {
      LogError(kLoadOperation, "Wrong folder type");
    }
  } catch (const AutomationError& error) {
    LogError(kLoadOperation, error.what());
    status = kStoreFail;
  }
  if (status < 0) LogError(kLoadOperation, "Open Database failed");
  return status;
}

void COutlook::ReportLoadFailure(int32_t status) {
  const std::string text =
      mInitError != 0 ? LoadString(mInitError) : FormatText(LoadString(IDS_OUTLOOK_LOAD_ERROR), {static_cast<long long>(status)});
  LogError(kLoadOperation, text);
  mInitError = 0;
}

bool COutlook::Cancelled() const { return mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED; }

// ---- Writing

int32_t COutlook::AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                     const std::string& contentType) {
  const bool group = contentType == kGroupContentType;
  newEntryId.clear();
  StoreWriteStatus writeStatus = WRITE_NOTHING;
  if (WriteAddressBookItem(card, newEntryId, group, writeStatus) != kStoreOk) {
    LogError("AddAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemAdded(serverId, newEntryId);
  LogDebug("AddAddressBookItem", "Item added");
  return kStoreOk;
}

int32_t COutlook::UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                        const std::string& contentType, StoreWriteStatus& writeStatus) {
  const bool group = contentType == kGroupContentType;
  writeStatus = WRITE_NOTHING;
  if (WriteAddressBookItem(card, entryId, group, writeStatus) != kStoreOk) {
    LogError("UpdateAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemWritten(serverId, entryId);
  LogDebug("UpdateAddressBookItem", "Item updated");
  return kStoreOk;
}

int32_t COutlook::WriteAddressBookItem(PVCard& card, std::string& entryId, bool group, StoreWriteStatus& writeStatus) {
  try {
    if (!IsContactFolderType(CurrentItemType())) return kStoreFail;
    mUnflushed = true;
    const int result = group ? ListPVCard2OAB(card, entryId) : Pvcard2AddressBook(card, entryId);
    writeStatus = static_cast<StoreWriteStatus>(result);
    return result != WRITE_NOTHING ? kStoreOk : kStoreFail;
  } catch (const AutomationError& error) {
    throw CAutomationException(DescriptionOf(error));
  }
}

int32_t COutlook::AddCalendarItem(const std::string& vcalendarText, std::string& entryId) {
  std::string written;
  try {
    if (IsCalendarFolderType(CurrentItemType())) {
      mUnflushed = true;
      written = CalendarItem2CAL(vcalendarText, entryId);
    }
  } catch (const AutomationError& error) {
    throw CAutomationException(DescriptionOf(error));
  }
  if (written.empty()) {
    LogError("AddCalendarItem", "CalendarItem2CAL error");
    return kStoreFail;
  }
  entryId = written;
  LogDebug("AddCalendarItem", "Item added");
  return kStoreOk;
}

bool COutlook::RemoveItem(const std::string& entryId) {
  try {
    const int32_t itemType = CurrentItemType();
    bool deleted = false;
    if (IsContactFolderType(itemType)) deleted = DeleteContact(entryId);
    if (itemType == olAppointmentItem) deleted = DeleteEvent(entryId);
    if (itemType == olTaskItem) deleted = DeleteTask(entryId);
    mUnflushed = deleted || mUnflushed;
  } catch (const AutomationError& error) {
    throw CAutomationException(DescriptionOf(error));
  }
  NoteItemRemoved(entryId);
  return true;
}

void COutlook::CommitWrites() {
  if (!mUnflushed) return;
  try {
    mNamespace.FlushSavedItems();
  } catch (const AutomationError& error) {
    if (error.Code() != AutomationCode::kMemberNotFound) throw CAutomationException(DescriptionOf(error));
  }
  mUnflushed = false;
}
