// Temporary books and short forms of the interface calls the address book tests make.
#include "tests/platform/wab/WabTestBook.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/TextCodec.h"
#include "platform/wab/WabPtr.h"
#include "platform/wab/WabSetting.h"

TestBook::TestBook()
    : mBookPath(mDir.File("addressbook.db")),
      mSetting(kWabSettingVariable, mDir.File("wab.conf")),
      mBook("LARK_WAB_ADDRESSBOOK", mBookPath),
      mDataHome("XDG_DATA_HOME", mDir.File("data")) {
  WriteSetting(std::string("DLLPath=") + LARK_WAB_LIBRARY + "\n");
}

std::unique_ptr<WabConnection> TestBook::Connect() const {
  return std::make_unique<WabConnection>();
}

void TestBook::WriteSetting(const std::string& content) const {
  WriteFileBytes(mDir.File("wab.conf"), content);
}

PropValues& PropValues::Raw(const SPropValue& value) {
  mValues.push_back(value);
  return *this;
}

PropValues& PropValues::Text(ULONG tag, const std::string& utf8) {
  SPropValue value{};
  value.ulPropTag = tag;
  if (PROP_TYPE(tag) == PT_STRING8) {
    value.Value.lpszA = mNarrow.emplace_back(utf8).data();
  } else {
    value.Value.lpszW = mWide.emplace_back(Utf8ToUtf16(utf8)).data();
  }
  return Raw(value);
}

PropValues& PropValues::Texts(ULONG tag, const std::vector<std::string>& utf8) {
  SPropValue value{};
  value.ulPropTag = tag;
  if (PROP_TYPE(tag) == PT_MV_STRING8) {
    auto& list = mNarrowLists.emplace_back();
    for (const std::string& text : utf8) list.push_back(mNarrow.emplace_back(text).data());
    value.Value.MVszA = {static_cast<ULONG>(list.size()), list.data()};
  } else {
    auto& list = mWideLists.emplace_back();
    for (const std::string& text : utf8) list.push_back(mWide.emplace_back(Utf8ToUtf16(text)).data());
    value.Value.MVszW = {static_cast<ULONG>(list.size()), list.data()};
  }
  return Raw(value);
}

PropValues& PropValues::Long(ULONG tag, LONG number) {
  SPropValue value{};
  value.ulPropTag = tag;
  value.Value.l = number;
  return Raw(value);
}

PropValues& PropValues::Bool(ULONG tag, bool flag) {
  SPropValue value{};
  value.ulPropTag = tag;
  value.Value.b = flag ? 1 : 0;
  return Raw(value);
}

PropValues& PropValues::Time(ULONG tag, LONGLONG fileTime) {
  SPropValue value{};
  value.ulPropTag = tag;
  value.Value.ft = {static_cast<ULONG>(fileTime), static_cast<ULONG>(static_cast<std::uint64_t>(fileTime) >> 32)};
  return Raw(value);
}

PropValues& PropValues::Binary(ULONG tag, const EntryBytes& bytes) {
  SPropValue value{};
  value.ulPropTag = tag;
  EntryBytes& kept = mBytes.emplace_back(bytes);
  value.Value.bin = {static_cast<ULONG>(kept.size()), kept.data()};
  return Raw(value);
}

PropValues& PropValues::Binaries(ULONG tag, const std::vector<EntryBytes>& values) {
  SPropValue value{};
  value.ulPropTag = tag;
  auto& list = mBinaryLists.emplace_back();
  for (const EntryBytes& bytes : values) {
    EntryBytes& kept = mBytes.emplace_back(bytes);
    list.push_back({static_cast<ULONG>(kept.size()), kept.data()});
  }
  value.Value.MVbin = {static_cast<ULONG>(list.size()), list.data()};
  return Raw(value);
}

PropValues& PropValues::Longs(ULONG tag, const std::vector<LONG>& values) {
  SPropValue value{};
  value.ulPropTag = tag;
  auto& list = mLongLists.emplace_back(values);
  value.Value.MVl = {static_cast<ULONG>(list.size()), list.data()};
  return Raw(value);
}

TagList::TagList(std::initializer_list<ULONG> tags) {
  mWords.push_back(static_cast<ULONG>(tags.size()));
  mWords.insert(mWords.end(), tags.begin(), tags.end());
}

EntryBytes TemplateId(WabConnection& book, ULONG templateTag) {
  const std::optional<EntryBytes> id = GetBinary(book, book.Container(), templateTag);
  EXPECT_TRUE(id.has_value());
  return id.value_or(EntryBytes{});
}

EntryBytes CreateEntry(WabConnection& book, ULONG templateTag, PropValues values) {
  EntryBytes templ = TemplateId(book, templateTag);
  WabRef<IMAPIProp> entry;
  EXPECT_EQ(S_OK, book.Container()->CreateEntry(static_cast<ULONG>(templ.size()), reinterpret_cast<LPENTRYID>(templ.data()),
                                                0, entry.Put()));
  if (!entry) return {};
  EXPECT_EQ(S_OK, entry->SetProps(values.Count(), values.Data(), nullptr));
  EXPECT_EQ(S_OK, entry->SaveChanges(KEEP_OPEN_READWRITE));
  return GetBinary(book, entry.Get(), PR_ENTRYID).value_or(EntryBytes{});
}

IMAPIProp* OpenEntry(WabConnection& book, const EntryBytes& id, ULONG* objectType, HRESULT* result) {
  ULONG type = 0;
  WabRef<IUnknown> object;
  EntryBytes copy = id;
  const HRESULT hr = book.AddrBook()->OpenEntry(static_cast<ULONG>(copy.size()), reinterpret_cast<LPENTRYID>(copy.data()),
                                                nullptr, MAPI_BEST_ACCESS, &type, object.Put());
  if (result != nullptr) *result = hr;
  if (objectType != nullptr) *objectType = type;
  if (HrFailed(hr)) return nullptr;
  return static_cast<IMAPIProp*>(object.Detach());
}

namespace {

// The value of one tag, or null when it came back as PT_ERROR; `values` keeps the buffer.
const SPropValue* GetOne(IMAPIProp* object, ULONG tag, WabBuffer<SPropValue>& values) {
  TagList tags{tag};
  ULONG count = 0;
  const HRESULT hr = object->GetProps(tags.Get(), MAPI_UNICODE, &count, values.Put());
  EXPECT_TRUE(HrSucceeded(hr));
  if (HrFailed(hr) || count != 1 || PROP_TYPE(values->ulPropTag) == PT_ERROR) return nullptr;
  return values.Get();
}

}  // namespace

std::optional<std::string> GetText(WabConnection& book, IMAPIProp* object, ULONG tag) {
  WabBuffer<SPropValue> values(book.Allocator());
  const SPropValue* value = GetOne(object, tag, values);
  if (value == nullptr) return std::nullopt;
  return Utf16ToUtf8(value->Value.lpszW);
}

std::optional<EntryBytes> GetBinary(WabConnection& book, IMAPIProp* object, ULONG tag) {
  WabBuffer<SPropValue> values(book.Allocator());
  const SPropValue* value = GetOne(object, tag, values);
  if (value == nullptr) return std::nullopt;
  return EntryBytes(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
}

std::optional<LONGLONG> GetTime(WabConnection& book, IMAPIProp* object, ULONG tag) {
  WabBuffer<SPropValue> values(book.Allocator());
  const SPropValue* value = GetOne(object, tag, values);
  if (value == nullptr) return std::nullopt;
  return static_cast<LONGLONG>((std::uint64_t(value->Value.ft.dwHighDateTime) << 32) | value->Value.ft.dwLowDateTime);
}

std::vector<TableRow> WalkContents(WabConnection& book) {
  WabRef<IMAPITable> table;
  const HRESULT hr = book.Container()->GetContentsTable(MAPI_UNICODE, table.Put());
  if (hr == MAPI_E_NOT_FOUND) return {};
  EXPECT_EQ(S_OK, hr);
  TagList columns{PR_DISPLAY_NAME, PR_ENTRYID, PR_OBJECT_TYPE};
  EXPECT_EQ(S_OK, table->SetColumns(columns.Get(), 0));
  EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr));
  std::vector<TableRow> rows;
  for (;;) {
    WabRowSet set(book.Allocator());
    EXPECT_EQ(S_OK, table->QueryRows(1, 0, set.Put()));
    if (set.Count() == 0) break;
    const SRow& row = set.Row(0);
    EXPECT_EQ(3u, row.cValues);
    TableRow result;
    if (PROP_TYPE(row.lpProps[0].ulPropTag) == PT_UNICODE) result.displayName = Utf16ToUtf8(row.lpProps[0].Value.lpszW);
    result.id.assign(row.lpProps[1].Value.bin.lpb, row.lpProps[1].Value.bin.lpb + row.lpProps[1].Value.bin.cb);
    result.objectType = static_cast<ULONG>(row.lpProps[2].Value.l);
    rows.push_back(std::move(result));
  }
  return rows;
}

std::string HexOf(const EntryBytes& bytes) {
  std::string hex;
  char digits[3];
  for (BYTE byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return hex;
}
