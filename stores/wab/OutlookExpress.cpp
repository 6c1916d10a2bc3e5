// The Windows Contacts store: opening the book, reading contacts into records, writing the
// server's contacts and deleting them.
#include "stores/wab/OutlookExpress.h"

#include <ctime>
#include <utility>

#include "common/Format.h"
#include "common/Prompt.h"
#include "common/StringIds.h"
#include "common/StringTable.h"
#include "common/TextCodec.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "pim/ItemLists.h"
#include "pim/PVCard.h"
#include "stores/EmailTypes.h"
#include "stores/wab/ContactProperties.h"
#include "stores/wab/WabPropertyArray.h"
#include "stores/wab/WabRecordText.h"

namespace {

constexpr const char* kNotInitialized = "Windows Contacts is not initialized";
constexpr const char* kGroupsSkipped = "Groups are nor synchronized";
constexpr const char* kLoadOperation = "LoadAddressBook";
// Rows of the contents table read at a time.
constexpr LONG kRowsPerQuery = 256;

LPENTRYID AsEntryId(const BYTE* bytes) { return reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(bytes)); }

const SPropValue* FindValue(const SPropValue* values, ULONG count, ULONG tag) {
  for (ULONG i = 0; i < count; ++i) {
    if (values[i].ulPropTag == tag) return &values[i];
  }
  return nullptr;
}

std::string TextValue(const SPropValue* values, ULONG count, ULONG tag) {
  const SPropValue* value = FindValue(values, count, tag);
  return value != nullptr && value->Value.lpszW != nullptr ? Utf16ToUtf8(value->Value.lpszW) : std::string();
}

std::vector<std::string> TextsValue(const SPropValue* values, ULONG count, ULONG tag) {
  std::vector<std::string> texts;
  const SPropValue* value = FindValue(values, count, tag);
  if (value == nullptr) return texts;
  for (ULONG i = 0; i < value->Value.MVszW.cValues; ++i) {
    const LPWSTR text = value->Value.MVszW.lppszW[i];
    texts.push_back(text != nullptr ? Utf16ToUtf8(text) : std::string());
  }
  return texts;
}

// Gives each address the type of a typed entry with the same address, walking both lists from
// their last entries backwards; each typed entry types one address at most.
std::vector<std::string> MatchEmailTypes(const std::vector<std::string>& addresses, std::vector<TypedAddress> typed) {
  std::vector<const char*> matched(addresses.size(), "");
  std::vector<bool> used(typed.size(), false);
  for (std::size_t a = addresses.size(); a-- > 0;) {
    for (std::size_t t = typed.size(); t-- > 0;) {
      if (used[t] || typed[t].address != addresses[a]) continue;
      matched[a] = typed[t].work ? kEmailTypeWork : kEmailTypeHome;
      used[t] = true;
      break;
    }
  }
  return {matched.begin(), matched.end()};
}

// Results that say the entry to write is not in the book (any more).
bool IsMissingEntry(HRESULT hr) {
  return hr == MAPI_E_NOT_FOUND || hr == MAPI_E_UNKNOWN_ENTRYID || hr == MAPI_E_INVALID_ENTRYID || hr == MAPI_E_OBJECT_DELETED;
}

// A caller-side wide string value for SetProps; the text must outlive the value.
SPropValue WideValue(ULONG tag, const std::u16string& text) {
  SPropValue value{};
  value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
  value.Value.lpszW = const_cast<LPWSTR>(text.c_str());
  return value;
}

}  // namespace

OutlookExpress::OutlookExpress(CConf& conf, Prompt& prompt, const WabOpenOptions& options, Clock clock)
    : CDatabaseObject(conf), mPrompt(prompt), mConnection(options), mClock(std::move(clock)) {
  LogDebug("OutlookExpress", "Windows Contacts mode");
  if (!mClock) mClock = [] { return static_cast<long long>(std::time(nullptr)); };
  if (!mConnection.IsOpen()) {
    ReportOpenFailure();
    return;
  }
  mWabObject = mConnection.Allocator();
  mWabAbook = mConnection.AddrBook();
  mWabContainer = mConnection.Container();
}

void OutlookExpress::ReportOpenFailure() {
  const std::string& detail = mConnection.Detail();
  switch (mConnection.Status()) {
    case WabOpenStatus::Ok:
      return;
    case WabOpenStatus::NoSetting:
      // The setting file could be read but names no library: the value is missing.
      LogError("OutlookExpress", (detail.find("DLLPath") != std::string::npos ? "RegQueryValueEx error: " : "RegOpenKeyEx error: ") + detail);
      break;
    case WabOpenStatus::LibraryNotLoadable:
      LogError("OutlookExpress", "LoadLibrary error: " + detail);
      break;
    case WabOpenStatus::NoEntryPoint:
      LogError("OutlookExpress", "GetProcAddress error: " + mConnection.LibraryPath());
      break;
    case WabOpenStatus::OpenFailed:
      LogError("CWAB", FormatText("lpfnWABOpen error %d", {static_cast<int>(mConnection.Result())}));
      break;
    case WabOpenStatus::NoPab:
      LogError("OutlookExpress", FormatText("mWabAbook->GetPAB error %d", {static_cast<int>(mConnection.Result())}));
      break;
    case WabOpenStatus::ContainerNotOpenable:
      LogError("OutlookExpress", FormatText("mWabAbook->OpenEntry error %d", {static_cast<int>(mConnection.Result())}));
      break;
  }
  mInitError = static_cast<unsigned>(mConnection.Status());
}

OutlookExpress::~OutlookExpress() { ClearEntryIdMap(); }

void OutlookExpress::ClearEntryIdMap() {
  LogDebug("ClearEntryIdMap", "Begin");
  mEntryIds.clear();
  LogDebug("ClearEntryIdMap", "End");
}

bool OutlookExpress::SetCurrentFolder(SyncDataType, const std::string&, const std::string&) { return true; }

// Contacts only; callers read anything but the calendar kind as contact data.
StoreContentKind OutlookExpress::GetContentKind() { return static_cast<StoreContentKind>(0); }

bool OutlookExpress::ItemExists(const std::string&) { return false; }

int32_t OutlookExpress::AddCalendarItem(const std::string&, std::string&) { return kStoreOk; }

const OutlookExpress::Bytes* OutlookExpress::BinaryEntryId(const std::string& entryId) const {
  const auto found = mEntryIds.find(entryId);
  return found == mEntryIds.end() ? nullptr : &found->second;
}

// ---- Reading

int32_t OutlookExpress::LoadAddressBook() {
  LogDebug(kLoadOperation, "Begin");
  mEntryIds.clear();
  if (mWabContainer == nullptr || mWabObject == nullptr) {
    LogError(kLoadOperation, kNotInitialized);
    return kStoreFail;
  }
  WabRef<IMAPITable> table;
  HRESULT hr = mWabContainer->GetContentsTable(MAPI_UNICODE, table.Put());
  if (hr == MAPI_E_NOT_FOUND) {
    LogDebug(kLoadOperation, "End: the address book is empty");
    return kStoreOk;
  }
  const char* failure = nullptr;
  SizedPropTagArray<3> columns{3, {PR_ENTRYID, PR_DISPLAY_NAME, PR_OBJECT_TYPE}};
  if (HrFailed(hr) || !table) {
    failure = "mWabContainer->GetContentsTable error";
  } else if (hr = table->SetColumns(columns.AsTagArray(), 0); HrFailed(hr)) {
    failure = "lpAB->SetColumns error";
  } else if (hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr); HrFailed(hr)) {
    failure = "lpAB->SeekRow error";
  }
  // Entries that need a new identifier are read last: one made in the same second by an earlier
  // run must not be given again to a contact read before the one that holds it.
  std::vector<Bytes> needIdentifiers;
  while (failure == nullptr) {
    WabRowSet rows(mWabObject);
    hr = table->QueryRows(kRowsPerQuery, 0, rows.Put());
    if (HrFailed(hr)) {
      failure = "ReadEntry error";
      break;
    }
    if (rows.Count() == 0) break;
    for (ULONG i = 0; i < rows.Count() && failure == nullptr; ++i) {
      const SRow& row = rows.Row(i);
      const SPropValue* type = FindValue(row.lpProps, row.cValues, PR_OBJECT_TYPE);
      const SPropValue* id = FindValue(row.lpProps, row.cValues, PR_ENTRYID);
      if ((type != nullptr && static_cast<ULONG>(type->Value.l) == MAPI_DISTLIST) || id == nullptr) continue;
      CDataItem::Ptr record;
      hr = ReadMapiEntry(id->Value.bin, record, false);
      if (HrFailed(hr)) {
        failure = "ReadEntry error";
      } else if (record) {
        mCurrentItems.Add(std::move(record));
      } else {
        needIdentifiers.emplace_back(id->Value.bin.lpb, id->Value.bin.lpb + id->Value.bin.cb);
      }
    }
  }
  for (std::size_t i = 0; i < needIdentifiers.size() && failure == nullptr; ++i) {
    Bytes& entryId = needIdentifiers[i];
    CDataItem::Ptr record;
    hr = ReadMapiEntry(SBinary{static_cast<ULONG>(entryId.size()), entryId.data()}, record);
    if (HrFailed(hr)) {
      failure = "ReadEntry error";
    } else {
      mCurrentItems.Add(std::move(record));
    }
  }
  if (failure != nullptr) {
    LogError(kLoadOperation, failure);
    const std::string message = mInitError != 0 ? FormatText(LoadString(mInitError), {static_cast<int>(hr)})
                                                : FormatText("%d", {static_cast<int>(hr)});
    LogError(kLoadOperation, message);
    return HrFailed(hr) ? hr : kStoreFail;
  }
  LogDebug(kLoadOperation, "End");
  return kStoreOk;
}

HRESULT OutlookExpress::OpenContact(const SBinary& entryId, WabRef<IMAPIProp>& entry) {
  ULONG type = 0;
  WabRef<IUnknown> object;
  const HRESULT hr = mWabAbook->OpenEntry(entryId.cb, AsEntryId(entryId.lpb), nullptr, MAPI_MODIFY | MAPI_BEST_ACCESS, &type,
                                          object.Put());
  if (HrFailed(hr)) return hr;
  if (type != MAPI_MAILUSER && type != MAPI_DISTLIST) return MAPI_E_INVALID_ENTRYID;
  entry.Reset(static_cast<IMAPIProp*>(object.Detach()));
  return S_OK;
}

HRESULT OutlookExpress::GetAllProps(IMAPIProp* entry, WabBuffer<SPropValue>& values, ULONG& count) {
  count = 0;
  return entry->GetProps(nullptr, MAPI_UNICODE, &count, values.Put());
}

HRESULT OutlookExpress::ReadMapiEntry(const SBinary& entryId, CDataItem::Ptr& record, bool mayMakeIdentifier) {
  WabRef<IMAPIProp> entry;
  HRESULT hr = OpenContact(entryId, entry);
  if (HrFailed(hr)) {
    mInitError = IDS_WAB_OPEN_ENTRY_ERROR;
    return hr;
  }
  WabBuffer<SPropValue> values(mWabObject);
  ULONG count = 0;
  const auto readProps = [&] {
    hr = GetAllProps(entry.Get(), values, count);
    if (HrFailed(hr)) mInitError = IDS_WAB_GET_PROPS_ERROR;
    return hr;
  };
  if (HrFailed(readProps())) return hr;
  std::string identifier;
  bool saved = false;
  if (hr = EnsureIdentifier(entry.Get(), entryId, values.Get(), count, identifier, saved, mayMakeIdentifier); HrFailed(hr)) {
    return hr;
  }
  if (identifier.empty()) return S_OK;
  // The e-mail types are read from what the entry holds now.
  if (saved && HrFailed(readProps())) return hr;
  saved = false;
  if (hr = ResolveEmailAddresses(entry.Get(), values.Get(), count, saved); HrFailed(hr)) return hr;
  if (saved && HrFailed(readProps())) return hr;
  mEntryIds[identifier] = Bytes(entryId.lpb, entryId.lpb + entryId.cb);
  record = RecordOf(identifier, values.Get(), count);
  return S_OK;
}

// A second entry with an identifier already read is a copy another program made of a contact,
// properties and all: it becomes a contact of its own.
HRESULT OutlookExpress::EnsureIdentifier(IMAPIProp* entry, const SBinary& entryId, const SPropValue* values, ULONG count,
                                         std::string& identifier, bool& saved, bool mayMake) {
  identifier = TextValue(values, count, PR_ZEP_ENTRYID);
  saved = false;
  if (!identifier.empty()) {
    const Bytes* known = BinaryEntryId(identifier);
    if (known == nullptr || *known == Bytes(entryId.lpb, entryId.lpb + entryId.cb)) return S_OK;
    if (mayMake) LogDebug("ReadMapiEntry", "Identifier " + identifier + " is held by another contact too: a new one is made");
  }
  if (!mayMake) {
    identifier.clear();
    return S_OK;
  }
  identifier = NewEntryIdentifier();
  const std::u16string wide = Utf8ToUtf16(identifier);
  SPropValue value = WideValue(PR_ZEP_ENTRYID, wide);
  if (const HRESULT hr = SaveAfterWrite(entry, entry->SetProps(1, &value, nullptr)); HrFailed(hr)) return hr;
  saved = true;
  return S_OK;
}

HRESULT OutlookExpress::ResolveEmailAddresses(IMAPIProp* entry, const SPropValue* values, ULONG count, bool& saved) {
  saved = false;
  static const ULONG addressesTag = ContactTag("PR_CONTACT_EMAIL_ADDRESSES");
  static const ULONG nicknameTag = ContactTag("PR_NICKNAME");
  const std::vector<std::string> addresses = TextsValue(values, count, addressesTag);
  const std::vector<std::string> stored = TextsValue(values, count, PR_ZEP_EMAIL_ADDRESSES_TYPES);
  std::string storedList;
  for (const std::string& element : stored) storedList += element + "\t";
  std::vector<std::string> types = MatchEmailTypes(addresses, ReadTypedAddressList(storedList));
  const EmailTypesOutcome outcome =
      ResolveEmailTypes(mConf, mPrompt, FirstSyncOfLink(), TextValue(values, count, PR_DISPLAY_NAME),
                        TextValue(values, count, nicknameTag),
                        addresses, types);
  if (outcome == EmailTypesOutcome::Cancelled) {
    mInitError = IDS_SYNC_CANCELED;
    return E_FAIL;
  }
  // The typed list follows the addresses the entry holds: an entry typed for an address that
  // another program removed would otherwise still be sent.
  std::vector<std::string> typed;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (!addresses[i].empty()) typed.push_back((types[i].empty() ? std::string(kEmailTypeHome) : types[i]) + ":" + addresses[i]);
  }
  if (typed == stored) return S_OK;
  HRESULT hr = S_OK;
  if (typed.empty()) {
    SizedPropTagArray<1> tags{1, {PR_ZEP_EMAIL_ADDRESSES_TYPES}};
    hr = entry->DeleteProps(tags.AsTagArray(), nullptr);
  } else {
    std::vector<std::u16string> wide;
    for (const std::string& element : typed) wide.push_back(Utf8ToUtf16(element));
    std::vector<LPWSTR> pointers;
    for (std::u16string& element : wide) pointers.push_back(element.data());
    SPropValue value{};
    value.ulPropTag = PR_ZEP_EMAIL_ADDRESSES_TYPES;
    value.Value.MVszW = {static_cast<ULONG>(pointers.size()), pointers.data()};
    hr = entry->SetProps(1, &value, nullptr);
  }
  if (hr = SaveAfterWrite(entry, hr); HrFailed(hr)) return hr;
  saved = true;
  return S_OK;
}

HRESULT OutlookExpress::SaveAfterWrite(IMAPIProp* entry, HRESULT written) {
  if (HrFailed(written)) {
    mInitError = IDS_WAB_SAVE_PROPERTY_ERROR;
    return written;
  }
  const HRESULT hr = entry->SaveChanges(KEEP_OPEN_READWRITE);
  if (HrFailed(hr)) mInitError = IDS_WAB_SAVE_CONTACT_ERROR;
  return hr;
}

CDataItem::Ptr OutlookExpress::RecordOf(const std::string& identifier, const SPropValue* values, ULONG count) {
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  AddPropertiesToRecord(values, count, *record, [this](const SBinary& member) { return MemberIdentifier(member); });
  record->itemId = identifier;
  (*record)["PR_ENTRYID"] = identifier;
  // Packed at once, so that the book is never held as one string per value.
  record->Pack();
  return record;
}

std::string OutlookExpress::MemberIdentifier(const SBinary& memberEntryId) {
  WabRef<IMAPIProp> member;
  if (HrFailed(OpenContact(memberEntryId, member))) return {};
  WabBuffer<SPropValue> values(mWabObject);
  ULONG count = 0;
  if (HrFailed(GetAllProps(member.Get(), values, count))) return {};
  std::string identifier;
  bool saved = false;
  if (HrFailed(EnsureIdentifier(member.Get(), memberEntryId, values.Get(), count, identifier, saved))) return {};
  mEntryIds.emplace(identifier, Bytes(memberEntryId.lpb, memberEntryId.lpb + memberEntryId.cb));
  return identifier;
}

// ---- Identifiers

// The time and a counter of the run; an identifier that a contact of the book or the saved
// index already has (one made in the same second by an earlier run) is passed over.
std::string OutlookExpress::NewEntryIdentifier() {
  std::string identifier;
  do {
    identifier = FormatText("%ld_%d", {static_cast<long>(mClock()), mIdentifierCounter++});
  } while (IdentifierInUse(identifier));
  return identifier;
}

bool OutlookExpress::IdentifierInUse(const std::string& identifier) const {
  return mEntryIds.count(identifier) != 0 || mCurrentItems.Contains(identifier) || mSavedItems.Contains(identifier);
}

// ---- Writing

bool OutlookExpress::Pvcard2Contact(const PVCard& card, const std::string& identifier, WabPropertyArray& properties) {
  if (mWabObject == nullptr || mWabContainer == nullptr) {
    LogError("Pvcard2Contact", kNotInitialized);
    return false;
  }
  if (!properties.Assign(BuildContactProperties(card, identifier))) {
    LogError("Pvcard2Contact", "The contact's properties could not be made");
    return false;
  }
  return true;
}

HRESULT OutlookExpress::GetOutlookExpressTemplateId(ULONG kind, Bytes& templateId) {
  constexpr const char* kOperation = "GetOutlookExpressTemplateId";
  if (kind != MAPI_MAILUSER && kind != MAPI_DISTLIST) {
    LogError(kOperation, "Invalid parameter");
    return E_INVALIDARG;
  }
  if (kind == MAPI_MAILUSER && !mContactTemplate.empty()) {
    templateId = mContactTemplate;
    return S_OK;
  }
  SizedPropTagArray<2> tags{2, {PR_DEF_CREATE_DL, PR_DEF_CREATE_MAILUSER}};
  WabBuffer<SPropValue> values(mWabObject);
  ULONG count = 0;
  const HRESULT hr = mWabContainer->GetProps(tags.AsTagArray(), MAPI_UNICODE, &count, values.Put());
  if (HrFailed(hr)) {
    LogError(kOperation, "GetProps failed");
    return hr;
  }
  const SPropValue* value = FindValue(values.Get(), count, kind == MAPI_MAILUSER ? PR_DEF_CREATE_MAILUSER : PR_DEF_CREATE_DL);
  if (value == nullptr) {
    LogError(kOperation, "Templates not found");
    return MAPI_E_NOT_FOUND;
  }
  templateId.assign(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
  if (templateId.empty()) {
    LogError(kOperation, "GetOutlookExpressTemplateId returned empty template");
    return MAPI_E_NOT_FOUND;
  }
  if (kind == MAPI_MAILUSER) mContactTemplate = templateId;
  return S_OK;
}

HRESULT OutlookExpress::WriteAndSave(IMAPIProp* entry, WabPropertyArray& properties, const char* operation) {
  WabBuffer<SPropProblemArray> problems(mWabObject);
  HRESULT hr = entry->SetProps(properties.Count(), properties.Data(), problems.Put());
  if (HrFailed(hr)) {
    LogError(operation, FormatText("SetProps failed %d", {static_cast<int>(hr)}));
    return hr;
  }
  if (hr = entry->SaveChanges(KEEP_OPEN_READWRITE); HrFailed(hr)) {
    LogError(operation, FormatText("SaveChanges failed %d", {static_cast<int>(hr)}));
    return hr;
  }
  return S_OK;
}

// The record is read back from the saved entry, so it is the record the next load makes (its
// stamp included) and the write is not taken for a local change.
HRESULT OutlookExpress::RefreshRecord(const std::string& identifier, IMAPIProp* entry, const char* operation) {
  WabBuffer<SPropValue> values(mWabObject);
  ULONG count = 0;
  const HRESULT hr = GetAllProps(entry, values, count);
  if (HrFailed(hr)) {
    LogError(operation, "GetProps failed");
    return hr;
  }
  if (const SPropValue* id = FindValue(values.Get(), count, PR_ENTRYID)) {
    mEntryIds[identifier] = Bytes(id->Value.bin.lpb, id->Value.bin.lpb + id->Value.bin.cb);
  }
  mCurrentItems.Put(RecordOf(identifier, values.Get(), count));
  return S_OK;
}

HRESULT OutlookExpress::AddMapiPropEntry(const std::string& identifier, WabPropertyArray& properties) {
  constexpr const char* kOperation = "AddMapiPropEntry";
  Bytes templateId;
  HRESULT hr = GetOutlookExpressTemplateId(MAPI_MAILUSER, templateId);
  if (HrFailed(hr)) return hr;
  WabRef<IMAPIProp> entry;
  hr = mWabContainer->CreateEntry(static_cast<ULONG>(templateId.size()), AsEntryId(templateId.data()), 0, entry.Put());
  if (HrFailed(hr)) {
    LogError(kOperation, FormatText("CreateEntry failed %d", {static_cast<int>(hr)}));
    return hr;
  }
  if (hr = WriteAndSave(entry.Get(), properties, kOperation); HrFailed(hr)) return hr;
  return RefreshRecord(identifier, entry.Get(), kOperation);
}

HRESULT OutlookExpress::CleanContact(IMAPIProp* entry) {
  const std::vector<ULONG>& written = WrittenContactTags();
  std::vector<ULONG> words{static_cast<ULONG>(written.size())};
  words.insert(words.end(), written.begin(), written.end());
  const HRESULT hr = entry->DeleteProps(reinterpret_cast<SPropTagArray*>(words.data()), nullptr);
  if (HrFailed(hr)) LogError("CleanContact", "DeleteProps error");
  return hr;
}

HRESULT OutlookExpress::UpdateMapiPropEntry(const std::string& identifier, WabPropertyArray& properties) {
  constexpr const char* kOperation = "UpdateMapiPropEntry";
  if (!mCurrentItems.Contains(identifier)) {
    LogError(kOperation, "No entry in the current items");
    return MAPI_E_NOT_FOUND;
  }
  const Bytes* binary = BinaryEntryId(identifier);
  if (binary == nullptr) {
    LogError(kOperation, "No binary key");
    return MAPI_E_NOT_FOUND;
  }
  WabRef<IMAPIProp> entry;
  HRESULT hr = OpenContact({static_cast<ULONG>(binary->size()), const_cast<BYTE*>(binary->data())}, entry);
  if (HrFailed(hr)) {
    LogError(kOperation, FormatText("OpenEntry failed %d", {static_cast<int>(hr)}));
    return hr;
  }
  if (hr = CleanContact(entry.Get()); HrFailed(hr)) return hr;
  if (hr = WriteAndSave(entry.Get(), properties, kOperation); HrFailed(hr)) return hr;
  return RefreshRecord(identifier, entry.Get(), kOperation);
}

int32_t OutlookExpress::AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                           const std::string& contentType) {
  constexpr const char* kOperation = "AddAddressBookItem";
  newEntryId = mWabObject != nullptr ? NewEntryIdentifier() : std::string();
  WabPropertyArray properties(mWabObject);
  if (!Pvcard2Contact(card, newEntryId, properties)) {
    LogError(kOperation, "Pvcard2Contact error");
    return kStoreFail;
  }
  NoteItemWritten(serverId, newEntryId);
  if (contentType == kGroupContentType) {
    LogDebug(kOperation, kGroupsSkipped);
    mSavedItems.Remove(newEntryId);
    return kStoreOk;
  }
  if (HrFailed(AddMapiPropEntry(newEntryId, properties))) {
    LogError(kOperation, "AddMapiPropEntry failed: " + newEntryId);
    return kStoreFail;
  }
  LogDebug(kOperation, "Contact item added: " + newEntryId);
  mSavedItems.Remove(newEntryId);
  return kStoreOk;
}

int32_t OutlookExpress::UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                              const std::string& contentType, StoreWriteStatus& writeStatus) {
  constexpr const char* kOperation = "UpdateAddressBookItem";
  writeStatus = WRITE_NOTHING;
  // An item the server names without a local identifier is written as a new contact.
  if (entryId.empty() && mWabObject != nullptr) entryId = NewEntryIdentifier();
  WabPropertyArray properties(mWabObject);
  if (!Pvcard2Contact(card, entryId, properties)) {
    LogError(kOperation, "Pvcard2Contact error");
    return kStoreFail;
  }
  writeStatus = WRITE_DONE;
  NoteItemWritten(serverId, entryId);
  if (contentType == kGroupContentType) {
    LogDebug(kOperation, kGroupsSkipped);
    return kStoreOk;
  }
  const HRESULT updated = UpdateMapiPropEntry(entryId, properties);
  if (HrSucceeded(updated)) {
    LogDebug(kOperation, "Item updated");
    return kStoreOk;
  }
  // Only a contact that is gone is written anew: one the book refused to change (a value over
  // its limits) stays as it was rather than be deleted for an addition that fails the same way.
  if (!IsMissingEntry(updated)) {
    LogError(kOperation, FormatText("The contact %s could not be changed: %d", {entryId, static_cast<int>(updated)}));
    writeStatus = WRITE_NOTHING;
    return kStoreFail;
  }
  // Deleted by another program since the load (or never read): written anew under the same
  // identifier.
  const std::string identifier = entryId;
  if (RemoveItem(identifier)) LogDebug(kOperation, "This Contact is already deleted: " + identifier);
  if (HrFailed(AddMapiPropEntry(identifier, properties))) {
    LogError(kOperation, "AddMapiPropEntry failed: " + identifier);
    writeStatus = WRITE_NOTHING;
    return kStoreFail;
  }
  LogDebug(kOperation, "Contact item added: " + identifier);
  return kStoreOk;
}

bool OutlookExpress::RemoveItem(const std::string& entryId) {
  constexpr const char* kOperation = "RemoveItem";
  if (mWabContainer == nullptr) {
    LogError(kOperation, kNotInitialized);
    return false;
  }
  if (!mCurrentItems.Contains(entryId)) {
    LogError(kOperation, "No entry in the current items");
    return false;
  }
  const Bytes* binary = BinaryEntryId(entryId);
  if (binary == nullptr) {
    LogError(kOperation, "No binary key");
    return false;
  }
  Bytes bytes = *binary;
  SBinary one{static_cast<ULONG>(bytes.size()), bytes.data()};
  ENTRYLIST list{1, &one};
  // A partial completion means another program deleted the entry already: it is gone all the same.
  if (HrFailed(mWabContainer->DeleteEntries(&list, 0))) {
    LogError(kOperation, "DeleteEntries failed");
    return false;
  }
  const std::string key = entryId;
  mEntryIds.erase(key);
  NoteItemRemoved(key);
  return true;
}
