// The test book, the store over it and another program's calls.
#include "tests/stores/wab/WabStoreFixture.h"

#include "common/TextCodec.h"
#include "pim/VCardParser.h"
#include "platform/wab/WabPtr.h"
#include "platform/wab/WabSetting.h"

std::optional<EmailTypesAnswer> ScriptedEmailPrompt::AskEmailTypes(const EmailTypesQuestion& question) {
  ++questions;
  if (cancel) return std::nullopt;
  return AutomaticEmailTypes(question);
}

OtherProgramValues& OtherProgramValues::Text(ULONG tag, const std::string& utf8) {
  SPropValue value{};
  value.ulPropTag = tag;
  value.Value.lpszW = mWide.emplace_back(Utf8ToUtf16(utf8)).data();
  mValues.push_back(value);
  return *this;
}

OtherProgramValues& OtherProgramValues::Texts(ULONG tag, const std::vector<std::string>& utf8) {
  SPropValue value{};
  value.ulPropTag = tag;
  auto& list = mLists.emplace_back();
  for (const std::string& text : utf8) list.push_back(mWide.emplace_back(Utf8ToUtf16(text)).data());
  value.Value.MVszW = {static_cast<ULONG>(list.size()), list.data()};
  mValues.push_back(value);
  return *this;
}

OtherProgramValues& OtherProgramValues::Binaries(ULONG tag, const std::vector<std::vector<BYTE>>& values) {
  SPropValue value{};
  value.ulPropTag = tag;
  auto& list = mBinaryLists.emplace_back();
  for (const auto& bytes : values) {
    auto& kept = mBytes.emplace_back(bytes);
    list.push_back({static_cast<ULONG>(kept.size()), kept.data()});
  }
  value.Value.MVbin = {static_cast<ULONG>(list.size()), list.data()};
  mValues.push_back(value);
  return *this;
}

WabStoreTest::WabStoreTest()
    : mSetting(kWabSettingVariable, mDir.File("wab.conf")),
      mBookFile("LARK_WAB_ADDRESSBOOK", mDir.File("addressbook.db")),
      mDataHome("XDG_DATA_HOME", mDir.File("data")),
      mConf(mDir.Path()) {
  WriteFileBytes(mDir.File("wab.conf"), std::string("DLLPath=") + LARK_WAB_LIBRARY + "\n");
  mConf.SetSilent(true);
}

std::unique_ptr<OutlookExpress> WabStoreTest::OpenStore(long long now) {
  return std::make_unique<OutlookExpress>(mConf, mPrompt, WabOpenOptions{}, [now] { return now; });
}

std::unique_ptr<OutlookExpress> WabStoreTest::LoadedStore(long long now) {
  auto store = OpenStore(now);
  EXPECT_EQ(store->mInitError, 0u);
  EXPECT_EQ(store->LoadContent("Contacts"), kStoreOk);
  return store;
}

WabConnection& WabStoreTest::Book() {
  if (!mOther) mOther = std::make_unique<WabConnection>();
  EXPECT_TRUE(mOther->IsOpen());
  return *mOther;
}

namespace {

std::vector<BYTE> BinaryProp(WabConnection& book, IMAPIProp* object, ULONG tag) {
  SizedPropTagArray<1> tags{1, {tag}};
  ULONG count = 0;
  WabBuffer<SPropValue> values(book.Allocator());
  EXPECT_TRUE(HrSucceeded(object->GetProps(tags.AsTagArray(), MAPI_UNICODE, &count, values.Put())));
  if (count != 1 || PROP_TYPE(values->ulPropTag) != PT_BINARY) return {};
  return {values->Value.bin.lpb, values->Value.bin.lpb + values->Value.bin.cb};
}

WabRef<IMAPIProp> OpenByOtherProgram(WabConnection& book, const std::vector<BYTE>& id) {
  ULONG type = 0;
  WabRef<IUnknown> object;
  const HRESULT hr = book.AddrBook()->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(id.data())),
                                                nullptr, MAPI_MODIFY, &type, object.Put());
  if (HrFailed(hr)) return {};
  return WabRef<IMAPIProp>(static_cast<IMAPIProp*>(object.Detach()));
}

}  // namespace

std::vector<BYTE> WabStoreTest::CreateByOtherProgram(OtherProgramValues values, bool distributionList) {
  WabConnection& book = Book();
  const std::vector<BYTE> templ = BinaryProp(book, book.Container(), distributionList ? PR_DEF_CREATE_DL : PR_DEF_CREATE_MAILUSER);
  WabRef<IMAPIProp> entry;
  EXPECT_TRUE(HrSucceeded(book.Container()->CreateEntry(static_cast<ULONG>(templ.size()),
                                                        reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(templ.data())), 0, entry.Put())));
  EXPECT_TRUE(HrSucceeded(entry->SetProps(values.Count(), values.Data(), nullptr)));
  EXPECT_TRUE(HrSucceeded(entry->SaveChanges(KEEP_OPEN_READWRITE)));
  return BinaryProp(book, entry.Get(), PR_ENTRYID);
}

std::optional<std::string> WabStoreTest::TextOf(const std::vector<BYTE>& entryId, ULONG tag) {
  WabRef<IMAPIProp> entry = OpenByOtherProgram(Book(), entryId);
  if (!entry) return std::nullopt;
  SizedPropTagArray<1> tags{1, {tag}};
  ULONG count = 0;
  WabBuffer<SPropValue> values(Book().Allocator());
  entry->GetProps(tags.AsTagArray(), MAPI_UNICODE, &count, values.Put());
  if (count != 1 || PROP_TYPE(values->ulPropTag) != PT_UNICODE) return std::nullopt;
  return Utf16ToUtf8(values->Value.lpszW);
}

std::optional<std::vector<std::string>> WabStoreTest::TextsOf(const std::vector<BYTE>& entryId, ULONG tag) {
  WabRef<IMAPIProp> entry = OpenByOtherProgram(Book(), entryId);
  if (!entry) return std::nullopt;
  SizedPropTagArray<1> tags{1, {tag}};
  ULONG count = 0;
  WabBuffer<SPropValue> values(Book().Allocator());
  entry->GetProps(tags.AsTagArray(), MAPI_UNICODE, &count, values.Put());
  if (count != 1 || PROP_TYPE(values->ulPropTag) != PT_MV_UNICODE) return std::nullopt;
  std::vector<std::string> texts;
  for (ULONG i = 0; i < values->Value.MVszW.cValues; ++i) texts.push_back(Utf16ToUtf8(values->Value.MVszW.lppszW[i]));
  return texts;
}

void WabStoreTest::SetByOtherProgram(const std::vector<BYTE>& entryId, OtherProgramValues values) {
  WabRef<IMAPIProp> entry = OpenByOtherProgram(Book(), entryId);
  ASSERT_TRUE(entry);
  ASSERT_TRUE(HrSucceeded(entry->SetProps(values.Count(), values.Data(), nullptr)));
  ASSERT_TRUE(HrSucceeded(entry->SaveChanges(0)));
}

void WabStoreTest::DeleteByOtherProgram(const std::vector<BYTE>& entryId) {
  std::vector<BYTE> bytes = entryId;
  SBinary one{static_cast<ULONG>(bytes.size()), bytes.data()};
  ENTRYLIST list{1, &one};
  ASSERT_EQ(Book().Container()->DeleteEntries(&list, 0), S_OK);
}

std::size_t WabStoreTest::EntryCount() {
  WabRef<IMAPITable> table;
  if (Book().Container()->GetContentsTable(MAPI_UNICODE, table.Put()) == MAPI_E_NOT_FOUND) return 0;
  ULONG count = 0;
  table->GetRowCount(0, &count);
  return count;
}

ParsedCard::ParsedCard(const std::string& text) : context(std::make_unique<VCardContext>()) {
  card = Zep3_PVCard_FromStream(context.get(), text);
}
