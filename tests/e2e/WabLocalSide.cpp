// The address book of an end-to-end client, through the library's interfaces.
#include "tests/e2e/WabLocalSide.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/TextCodec.h"
#include "config/CConf.h"
#include "engine/CSyncLink.h"
#include "pim/MapiPropertyName.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "platform/wab/WabConnection.h"
#include "platform/wab/WabPtr.h"
#include "platform/wab/WabSetting.h"
#include "stores/StoreFactory.h"
#include "stores/wab/ContactProperties.h"
#include "stores/wab/OutlookExpress.h"
#include "stores/wab/WabPropertyArray.h"
#include "stores/wab/WabRecordText.h"
#include "tests/e2e/KillingStore.h"

namespace {

using Bytes = std::vector<BYTE>;

std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (BYTE b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex;
}

Bytes Unhex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::unique_ptr<WabConnection> Open() {
  auto book = std::make_unique<WabConnection>();
  EXPECT_TRUE(book->IsOpen()) << "the end-to-end address book cannot be opened: " << book->Detail();
  return book;
}

// The store's own properties (identifier, type and side lists) are in the private range; another
// program neither writes nor removes them.
bool IsStoresOwn(ULONG tag) { return PROP_ID(tag) >= 0x9000; }

// The card's properties as another program that knows the fields writes them.
ContactProperties FieldsOf(const std::string& vcard) {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, vcard);
  EXPECT_TRUE(card) << vcard;
  ContactProperties fields;
  if (!card) return fields;
  const ContactProperties all = BuildContactProperties(*card, "");
  for (const ContactValue& value : all.Values()) {
    if (!IsStoresOwn(value.tag)) fields.SetTexts(value.tag, value.texts);
  }
  return fields;
}

Bytes BinaryOf(WabConnection& book, IMAPIProp* object, ULONG tag) {
  SizedPropTagArray<1> tags{1, {tag}};
  ULONG count = 0;
  WabBuffer<SPropValue> values(book.Allocator());
  if (HrFailed(object->GetProps(tags.AsTagArray(), MAPI_UNICODE, &count, values.Put())) || count != 1 ||
      PROP_TYPE(values->ulPropTag) != PT_BINARY) {
    return {};
  }
  return {values->Value.bin.lpb, values->Value.bin.lpb + values->Value.bin.cb};
}

WabRef<IMAPIProp> OpenEntry(WabConnection& book, const std::string& id) {
  Bytes bytes = Unhex(id);
  ULONG type = 0;
  WabRef<IUnknown> object;
  if (HrFailed(book.AddrBook()->OpenEntry(static_cast<ULONG>(bytes.size()), reinterpret_cast<LPENTRYID>(bytes.data()), nullptr,
                                          MAPI_MODIFY, &type, object.Put()))) {
    return {};
  }
  return WabRef<IMAPIProp>(static_cast<IMAPIProp*>(object.Detach()));
}

void WriteFields(WabConnection& book, IMAPIProp* entry, const std::string& vcard) {
  WabPropertyArray values(book.Allocator());
  ASSERT_TRUE(values.Assign(FieldsOf(vcard)));
  ASSERT_TRUE(HrSucceeded(entry->SetProps(values.Count(), values.Data(), nullptr)));
  ASSERT_TRUE(HrSucceeded(entry->SaveChanges(KEEP_OPEN_READWRITE)));
}

CDataItem::Ptr RecordOf(WabConnection& book, IMAPIProp* entry) {
  WabBuffer<SPropValue> values(book.Allocator());
  ULONG count = 0;
  if (HrFailed(entry->GetProps(nullptr, MAPI_UNICODE, &count, values.Put()))) return nullptr;
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  AddPropertiesToRecord(values.Get(), count, *record, {});
  return record;
}

}  // namespace

WabLocalSide::WabLocalSide(const std::string& folder)
    : mSettingPath(folder + "wab.conf"),
      mBookPath(folder + "addressbook.db"),
      mSetting(kWabSettingVariable, mSettingPath),
      mBook("LARK_WAB_ADDRESSBOOK", mBookPath) {
  WriteFileBytes(mSettingPath, std::string("DLLPath=") + LARK_BINARY_DIR + "/lib/" + kWabDefaultLibrary + "\n");
}

// The client's identity is kept under the application's own key: the server knows the client by it.
void WabLocalSide::Configure(CConf& conf) {
  conf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  conf.SetValue(CConf::kSection, "WABID", conf.ClientStoreId());
  conf.SetSyncCal(false);
  conf.SetSyncTasks(false);
  for (std::size_t i = 0; i < conf.Links().Size(); ++i) {
    CSyncLink& link = conf.Links().At(i);
    link.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
    if (link.mDataType != DATA_TYPE_CONTACTS) link.mMode = SYNC_MODE_OFF;
  }
  conf.Save();
}

std::string WabLocalSide::AddContact(const std::string& vcard) {
  auto book = Open();
  const Bytes templ = BinaryOf(*book, book->Container(), PR_DEF_CREATE_MAILUSER);
  WabRef<IMAPIProp> entry;
  EXPECT_TRUE(HrSucceeded(book->Container()->CreateEntry(static_cast<ULONG>(templ.size()),
                                                         reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(templ.data())), 0, entry.Put())));
  if (!entry) return {};
  WriteFields(*book, entry.Get(), vcard);
  return Hex(BinaryOf(*book, entry.Get(), PR_ENTRYID));
}

// Edited field by field: what the card no longer has is removed, the store's own properties stay.
void WabLocalSide::ChangeContact(const std::string& id, const std::string& vcard) {
  auto book = Open();
  WabRef<IMAPIProp> entry = OpenEntry(*book, id);
  ASSERT_TRUE(entry) << id;
  std::vector<ULONG> words{0};
  for (const ULONG tag : WrittenContactTags()) {
    if (!IsStoresOwn(tag)) words.push_back(tag);
  }
  words[0] = static_cast<ULONG>(words.size() - 1);
  ASSERT_TRUE(HrSucceeded(entry->DeleteProps(reinterpret_cast<SPropTagArray*>(words.data()), nullptr)));
  WriteFields(*book, entry.Get(), vcard);
}

void WabLocalSide::ChangeField(SyncDataType, const std::string& id, const std::string& key, const std::string& value) {
  auto book = Open();
  WabRef<IMAPIProp> entry = OpenEntry(*book, id);
  ASSERT_TRUE(entry) << id;
  ContactProperties fields;
  fields.SetText(ContactTag(key.c_str()), value);
  WabPropertyArray values(book->Allocator());
  ASSERT_TRUE(values.Assign(fields));
  ASSERT_TRUE(HrSucceeded(entry->SetProps(values.Count(), values.Data(), nullptr)));
  ASSERT_TRUE(HrSucceeded(entry->SaveChanges(KEEP_OPEN_READWRITE)));
}

void WabLocalSide::DeleteContact(const std::string& id) {
  auto book = Open();
  Bytes bytes = Unhex(id);
  SBinary one{static_cast<ULONG>(bytes.size()), bytes.data()};
  ENTRYLIST list{1, &one};
  EXPECT_EQ(book->Container()->DeleteEntries(&list, 0), S_OK) << id;
}

std::vector<std::string> WabLocalSide::Ids() const {
  auto book = Open();
  std::vector<std::string> ids;
  WabRef<IMAPITable> table;
  if (book->Container()->GetContentsTable(MAPI_UNICODE, table.Put()) == MAPI_E_NOT_FOUND) return ids;
  SizedPropTagArray<2> columns{2, {PR_ENTRYID, PR_OBJECT_TYPE}};
  table->SetColumns(columns.AsTagArray(), 0);
  for (;;) {
    WabRowSet rows(book->Allocator());
    if (HrFailed(table->QueryRows(100, 0, rows.Put())) || rows.Count() == 0) break;
    for (ULONG i = 0; i < rows.Count(); ++i) {
      const SPropValue* values = rows.Row(i).lpProps;
      if (static_cast<ULONG>(values[1].Value.l) == MAPI_DISTLIST) continue;
      ids.push_back(Hex(Bytes(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb)));
    }
  }
  return ids;
}

std::vector<std::string> WabLocalSide::Contacts() const {
  std::vector<std::string> cards;
  const std::vector<std::string> ids = Ids();
  auto book = Open();
  for (const std::string& id : ids) {
    WabRef<IMAPIProp> entry = OpenEntry(*book, id);
    if (!entry) continue;
    if (const CDataItem::Ptr record = RecordOf(*book, entry.Get())) cards.push_back(record->ToVCard());
  }
  std::sort(cards.begin(), cards.end());
  return cards;
}

std::optional<std::string> WabLocalSide::StoreIdentifierOf(const std::string& id) const { return PropertyOf(id, "PR_ZEP_ENTRYID"); }

std::optional<std::string> WabLocalSide::PropertyOf(const std::string& id, const std::string& name) const {
  auto book = Open();
  WabRef<IMAPIProp> entry = OpenEntry(*book, id);
  if (!entry) return std::nullopt;
  const CDataItem::Ptr record = RecordOf(*book, entry.Get());
  std::string value;
  if (!record || !record->GetProperty(name, value)) return std::nullopt;
  return value;
}

namespace {

class WabStoreFactory final : public SyncStoreFactory {
 public:
  explicit WabStoreFactory(int killAfterWrites) : mKillAfterWrites(killAfterWrites) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) override {
    return std::make_unique<KillingStore<OutlookExpress>>(mKillAfterWrites, conf, prompt);
  }

 private:
  int mKillAfterWrites;
};

}  // namespace

std::unique_ptr<SyncStoreFactory> WabLocalSide::MakeStoreFactory(int killAfterServerWrites) {
  return std::make_unique<WabStoreFactory>(killAfterServerWrites);
}

std::string WabLocalSide::IdOf(const std::string& displayName) const {
  for (const std::string& id : Ids()) {
    if (PropertyOf(id, "PR_DISPLAY_NAME") == displayName) return id;
  }
  return {};
}
