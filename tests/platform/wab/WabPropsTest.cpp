// Property values of every type code through SetProps, SaveChanges and GetProps, as the adapter
// reads and writes contacts.
#include <gtest/gtest.h>

#include <cstring>

#include "common/TextCodec.h"
#include "platform/wab/WabPtr.h"
#include "tests/platform/wab/WabTestBook.h"

namespace {

constexpr ULONG kLong = PROP_TAG(PT_LONG, 0x8100);
constexpr ULONG kBool = PROP_TAG(PT_BOOLEAN, 0x8101);
constexpr ULONG kTime = PROP_TAG(PT_SYSTIME, 0x8102);
constexpr ULONG kNarrow = PROP_TAG(PT_STRING8, 0x8103);
constexpr ULONG kWide = PROP_TAG(PT_UNICODE, 0x8104);
constexpr ULONG kBinary = PROP_TAG(PT_BINARY, 0x8105);
constexpr ULONG kLongs = PROP_TAG(PT_MV_LONG, 0x8106);
constexpr ULONG kNarrows = PROP_TAG(PT_MV_STRING8, 0x8107);
constexpr ULONG kWides = PROP_TAG(PT_MV_UNICODE, 0x8108);
constexpr ULONG kBinaries = PROP_TAG(PT_MV_BINARY, 0x8109);
constexpr ULONG kNickname = PROP_TAG(PT_UNICODE, 0x3A4F);

PropValues EveryType() {
  PropValues values;
  values.Long(kLong, -42)
      .Bool(kBool, true)
      .Time(kTime, 0x01DB1234ABCDEF01LL)
      .Text(kNarrow, "plain ascii")
      .Text(kWide, "Zoë Šťastná ☃ 𝄞")
      .Binary(kBinary, {0x00, 0x01, 0xFF, 0x00})
      .Longs(kLongs, {1, -2, 2147483647})
      .Texts(kNarrows, {"one", "", "three"})
      .Texts(kWides, {"x@example.org", "Ünïcode", ""})
      .Binaries(kBinaries, {{0x00}, {}, {0xDE, 0xAD, 0xBE, 0xEF}})
      .Text(PR_ZEP_ENTRYID, "1765000000_1")
      .Texts(PR_ZEP_EMAIL_ADDRESSES_TYPES, {"W:x@example.org"})
      .Texts(PR_ZEP_ADDITIONAL_PHONES_LIST, {"+1 555", "+2 666"})
      .Texts(PR_ZEP_ADDITIONAL_PHONES_ATTR, {"WF", "HCP"})
      .Text(PR_ZEP_PREF_PHONE_INDEX, "PR_BUSINESS_FAX_NUMBER");
  return values;
}

bool SameBytes(const SBinary& a, const SBinary& b) {
  return a.cb == b.cb && (a.cb == 0 || std::memcmp(a.lpb, b.lpb, a.cb) == 0);
}

// Every value of `values` compared with what GetProps returns for the same tags.
void ExpectSameValues(PropValues& values, const SPropValue* got, ULONG count) {
  ASSERT_EQ(values.Count(), count);
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& want = values.Data()[i];
    const SPropValue& have = got[i];
    SCOPED_TRACE(testing::Message() << std::hex << want.ulPropTag);
    ASSERT_EQ(want.ulPropTag, have.ulPropTag);
    switch (PROP_TYPE(want.ulPropTag)) {
      case PT_LONG:
        EXPECT_EQ(want.Value.l, have.Value.l);
        break;
      case PT_BOOLEAN:
        EXPECT_EQ(want.Value.b, have.Value.b);
        break;
      case PT_SYSTIME:
        EXPECT_EQ(want.Value.ft.dwLowDateTime, have.Value.ft.dwLowDateTime);
        EXPECT_EQ(want.Value.ft.dwHighDateTime, have.Value.ft.dwHighDateTime);
        break;
      case PT_STRING8:
        EXPECT_STREQ(want.Value.lpszA, have.Value.lpszA);
        break;
      case PT_UNICODE:
        EXPECT_EQ(std::u16string(want.Value.lpszW), std::u16string(have.Value.lpszW));
        break;
      case PT_BINARY:
        EXPECT_TRUE(SameBytes(want.Value.bin, have.Value.bin));
        break;
      case PT_MV_LONG:
        ASSERT_EQ(want.Value.MVl.cValues, have.Value.MVl.cValues);
        for (ULONG k = 0; k < want.Value.MVl.cValues; ++k) EXPECT_EQ(want.Value.MVl.lpl[k], have.Value.MVl.lpl[k]);
        break;
      case PT_MV_STRING8:
        ASSERT_EQ(want.Value.MVszA.cValues, have.Value.MVszA.cValues);
        for (ULONG k = 0; k < want.Value.MVszA.cValues; ++k) EXPECT_STREQ(want.Value.MVszA.lppszA[k], have.Value.MVszA.lppszA[k]);
        break;
      case PT_MV_UNICODE:
        ASSERT_EQ(want.Value.MVszW.cValues, have.Value.MVszW.cValues);
        for (ULONG k = 0; k < want.Value.MVszW.cValues; ++k) {
          EXPECT_EQ(std::u16string(want.Value.MVszW.lppszW[k]), std::u16string(have.Value.MVszW.lppszW[k]));
        }
        break;
      case PT_MV_BINARY:
        ASSERT_EQ(want.Value.MVbin.cValues, have.Value.MVbin.cValues);
        for (ULONG k = 0; k < want.Value.MVbin.cValues; ++k) {
          EXPECT_TRUE(SameBytes(want.Value.MVbin.lpbin[k], have.Value.MVbin.lpbin[k])) << "element " << k;
        }
        break;
      default:
        ADD_FAILURE() << "unexpected type";
    }
  }
}

std::vector<ULONG> TagsOf(PropValues& values) {
  std::vector<ULONG> tags;
  for (ULONG i = 0; i < values.Count(); ++i) tags.push_back(values.Data()[i].ulPropTag);
  return tags;
}

struct TagArray {
  explicit TagArray(const std::vector<ULONG>& tags) : words{static_cast<ULONG>(tags.size())} {
    words.insert(words.end(), tags.begin(), tags.end());
  }
  SPropTagArray* Get() { return reinterpret_cast<SPropTagArray*>(words.data()); }
  std::vector<ULONG> words;
};

}  // namespace

TEST(WabProps, EveryTypeCodeSurvivesSaveAndReopen) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  PropValues values = EveryType();
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, values);
  ASSERT_FALSE(id.empty());

  auto reopened = book.Connect();
  WabRef<IMAPIProp> entry(OpenEntry(*reopened, id));
  ASSERT_TRUE(entry);
  TagArray tags(TagsOf(values));
  ULONG count = 0;
  WabBuffer<SPropValue> got(reopened->Allocator());
  ASSERT_EQ(S_OK, entry->GetProps(tags.Get(), MAPI_UNICODE, &count, got.Put()));
  ExpectSameValues(values, got.Get(), count);
}

TEST(WabProps, AllPropertiesComeAsWideStringsWithTheComputedOnes) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, EveryType());
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  ULONG count = 0;
  WabBuffer<SPropValue> all(connection->Allocator());
  ASSERT_EQ(S_OK, entry->GetProps(nullptr, MAPI_UNICODE, &count, all.Put()));
  EXPECT_EQ(EveryType().Count() + 4, count);  // + PR_ENTRYID, PR_OBJECT_TYPE, creation and modification time
  std::map<ULONG, const SPropValue*> byTag;
  for (ULONG i = 0; i < count; ++i) byTag[all.Get()[i].ulPropTag] = &all.Get()[i];
  ASSERT_TRUE(byTag.count(CHANGE_PROP_TYPE(kNarrow, PT_UNICODE)));
  EXPECT_EQ(u"plain ascii", std::u16string(byTag[CHANGE_PROP_TYPE(kNarrow, PT_UNICODE)]->Value.lpszW));
  EXPECT_TRUE(byTag.count(CHANGE_PROP_TYPE(kNarrows, PT_MV_UNICODE)));
  ASSERT_TRUE(byTag.count(PR_OBJECT_TYPE));
  EXPECT_EQ(LONG(MAPI_MAILUSER), byTag[PR_OBJECT_TYPE]->Value.l);
  EXPECT_TRUE(byTag.count(PR_ENTRYID));
  EXPECT_TRUE(byTag.count(PR_LAST_MODIFICATION_TIME));
  EXPECT_TRUE(byTag.count(PR_ZEP_ENTRYID));

  // Without MAPI_UNICODE strings come 8-bit; text the locale cannot hold becomes '?'.
  WabBuffer<SPropValue> narrow(connection->Allocator());
  ASSERT_EQ(S_OK, entry->GetProps(nullptr, 0, &count, narrow.Put()));
  bool sawWide = false;
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& value = narrow.Get()[i];
    EXPECT_NE(PT_UNICODE, PROP_TYPE(value.ulPropTag));
    if (PROP_ID(value.ulPropTag) == PROP_ID(kWide)) {
      sawWide = true;
      std::string expected;
      if (!Utf8ToLocale("Zoë Šťastná ☃ 𝄞", expected)) expected = "Zo? ??astn? ? ?";
      EXPECT_EQ(expected, value.Value.lpszA);
    }
  }
  EXPECT_TRUE(sawWide);
}

TEST(WabProps, MissingOrMistypedTagsComeBackAsErrorValues) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, PropValues().Text(PR_DISPLAY_NAME, "Anna"));
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  TagArray tags({PROP_TAG(PT_UNICODE, 0x3A06), CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_LONG),
                 CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_STRING8), CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_UNSPECIFIED)});
  ULONG count = 0;
  WabBuffer<SPropValue> got(connection->Allocator());
  ASSERT_EQ(MAPI_W_ERRORS_RETURNED, entry->GetProps(tags.Get(), MAPI_UNICODE, &count, got.Put()));
  ASSERT_EQ(4u, count);
  EXPECT_EQ(PROP_TAG(PT_ERROR, 0x3A06), got.Get()[0].ulPropTag);
  EXPECT_EQ(MAPI_E_NOT_FOUND, got.Get()[0].Value.err);
  EXPECT_EQ(CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_ERROR), got.Get()[1].ulPropTag);
  EXPECT_EQ(CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_STRING8), got.Get()[2].ulPropTag);
  EXPECT_STREQ("Anna", got.Get()[2].Value.lpszA);
  EXPECT_EQ(PR_DISPLAY_NAME, got.Get()[3].ulPropTag);
}

TEST(WabProps, DeletePropsRemovesValuesOfAnyTypeAfterSave) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  PropValues values = EveryType();
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, values);
  {
    WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
    TagArray doomed(TagsOf(values));
    ASSERT_EQ(S_OK, entry->DeleteProps(doomed.Get(), nullptr));
    ASSERT_EQ(S_OK, entry->SaveChanges(0));
  }
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  ULONG count = 0;
  WabBuffer<SPropValue> all(connection->Allocator());
  ASSERT_EQ(S_OK, entry->GetProps(nullptr, MAPI_UNICODE, &count, all.Put()));
  EXPECT_EQ(4u, count) << "only the computed properties are left";
}

TEST(WabProps, ComputedPropertiesAreReportedAsProblemsAndTheRestIsSet) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, PropValues().Text(PR_DISPLAY_NAME, "Anna"));
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  PropValues values;
  values.Time(PR_LAST_MODIFICATION_TIME, 1).Text(kNickname, "Ann").Binary(PR_ENTRYID, {1, 2});
  WabBuffer<SPropProblemArray> problems(connection->Allocator());
  ASSERT_EQ(S_OK, entry->SetProps(values.Count(), values.Data(), problems.Put()));
  ASSERT_TRUE(problems);
  ASSERT_EQ(2u, problems->cProblem);
  const SPropProblem* list = problems->aProblem;
  EXPECT_EQ(0u, list[0].ulIndex);
  EXPECT_EQ(MAPI_E_COMPUTED, list[0].scode);
  EXPECT_EQ(2u, list[1].ulIndex);
  EXPECT_EQ("Ann", GetText(*connection, entry.Get(), kNickname));
  EXPECT_EQ(id, GetBinary(*connection, entry.Get(), PR_ENTRYID));

  WabBuffer<SPropProblemArray> none(connection->Allocator());
  ASSERT_EQ(S_OK, entry->SetProps(1, values.Data() + 1, none.Put()));
  EXPECT_FALSE(none);
}

TEST(WabProps, AnInvalidValueFailsTheWholeCallAndChangesNothing) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, PropValues().Text(PR_DISPLAY_NAME, "Anna"));
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));

  SPropValue nullText{};
  nullText.ulPropTag = kWide;
  PropValues withNull;
  withNull.Text(PR_DISPLAY_NAME, "Changed").Raw(nullText);
  EXPECT_EQ(E_INVALIDARG, entry->SetProps(withNull.Count(), withNull.Data(), nullptr));

  SPropValue badType{};
  badType.ulPropTag = PROP_TAG(0x0048, 0x8200);  // a type the book does not store
  PropValues withBadType;
  withBadType.Text(PR_DISPLAY_NAME, "Changed").Raw(badType);
  EXPECT_EQ(MAPI_E_INVALID_TYPE, entry->SetProps(withBadType.Count(), withBadType.Data(), nullptr));

  SPropValue hugeList{};
  hugeList.ulPropTag = kLongs;
  std::vector<LONG> longs(70000, 1);
  hugeList.Value.MVl = {static_cast<ULONG>(longs.size()), longs.data()};
  PropValues tooMany;
  tooMany.Raw(hugeList);
  EXPECT_EQ(MAPI_E_TOO_BIG, entry->SetProps(tooMany.Count(), tooMany.Data(), nullptr));

  std::string huge(9u << 20, 'x');
  PropValues tooLong;
  tooLong.Text(kNarrow, huge);
  EXPECT_EQ(MAPI_E_TOO_BIG, entry->SetProps(tooLong.Count(), tooLong.Data(), nullptr));

  EXPECT_EQ(S_OK, entry->SaveChanges(0));
  EXPECT_EQ("Anna", GetText(*connection, entry.Get(), PR_DISPLAY_NAME));
}

TEST(WabProps, MultiValuedStringsAndBinariesKeepOrderEmptiesAndZeros) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  PropValues values;
  values.Texts(PROP_TAG(PT_MV_UNICODE, 0x3A56), {"", "second@example.org", ""})
      .Binaries(PR_WAB_DL_ENTRIES, {{0, 0, 0}, {1}, {}})
      .Texts(kWides, {});
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_DL, values);
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  TagArray tags(TagsOf(values));
  ULONG count = 0;
  WabBuffer<SPropValue> got(connection->Allocator());
  ASSERT_EQ(S_OK, entry->GetProps(tags.Get(), MAPI_UNICODE, &count, got.Put()));
  ExpectSameValues(values, got.Get(), count);
}
