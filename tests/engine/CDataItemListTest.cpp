// Item lists: first-match keyed access, iteration, and the index file byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <filesystem>
#include <string>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "engine/CDataItemList.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

namespace {

CDataItem::Ptr Record(const std::string& id, std::map<std::string, std::string> properties = {}) {
  auto item = CDataItem::Create();
  item->itemId = id;
  item->properties = std::move(properties);
  return item;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int value : values) out += static_cast<char>(value);
  return out;
}

// Restores the C library locale a test changed.
class LocaleGuard {
 public:
  LocaleGuard() : mSaved(std::setlocale(LC_ALL, nullptr)) {}
  ~LocaleGuard() { std::setlocale(LC_ALL, mSaved.c_str()); }

 private:
  std::string mSaved;
};

}  // namespace

TEST(CDataItemListFormat, OneRecordIsWrittenWithUtf16MarkerAndShortLengths) {
  CDataItemList list;
  list.Add(Record("A1", {{"K", "v"}}));
  const std::string expected = Bytes({0x01, 0x00,                                            // one record
                                      0xFF, 0xFE, 0xFF, 0x02, 'A', 0, '1', 0,                 // itemId
                                      0x01, 0x00,                                            // one property
                                      0xFF, 0xFE, 0xFF, 0x01, 'K', 0,                        // name
                                      0xFF, 0xFE, 0xFF, 0x01, 'v', 0});                      // value
  EXPECT_EQ(list.Serialize(), expected);
}

TEST(CDataItemListFormat, EmptyListIsAZeroCount) {
  CDataItemList list;
  EXPECT_EQ(list.Serialize(), Bytes({0x00, 0x00}));
}

TEST(CDataItemListFormat, KeyOf300CharactersUsesThe16BitLengthForm) {
  CDataItemList list;
  const std::string key(300, 'k');
  list.Add(Record(key));
  const std::string bytes = list.Serialize();
  // count, then 0xFF 0xFFFE marker, 0xFF, 16-bit 300 (0x012C), then 600 bytes of text.
  EXPECT_EQ(bytes.substr(0, 8), Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}));
  ASSERT_EQ(bytes.size(), 8u + 600u + 2u);
  EXPECT_EQ(bytes.substr(8, 2), Bytes({'k', 0}));

  CDataItemList loaded;
  ASSERT_TRUE(loaded.Deserialize(bytes));
  ASSERT_EQ(loaded.Count(), 1u);
  EXPECT_EQ(loaded.First()->itemId, key);
}

TEST(CDataItemListFormat, ExactlyTwoHundredFiftyFiveUnitsTakeTheLongForm) {
  CDataItemList list;
  list.Add(Record(std::string(254, 'a')));
  list.Add(Record(std::string(255, 'b')));
  const std::string bytes = list.Serialize();
  EXPECT_EQ(bytes.substr(2, 4), Bytes({0xFF, 0xFE, 0xFF, 254}));
  const size_t second = 2 + 4 + 508 + 2;
  EXPECT_EQ(bytes.substr(second, 6), Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}));
}

TEST(CDataItemListFormat, SeventyThousandRecordsWrite0xFFFFThenThe32BitCountAndReadBack) {
  CDataItemList list;
  for (int i = 0; i < 70000; ++i) list.Add(Record("id" + std::to_string(i), {{"PR_LAST_MODIFICATION_TIME", std::to_string(i)}}));
  const std::string bytes = list.Serialize();
  EXPECT_EQ(bytes.substr(0, 6), Bytes({0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));  // 70000 = 0x00011170

  CDataItemList loaded;
  ASSERT_TRUE(loaded.Deserialize(bytes));
  ASSERT_EQ(loaded.Count(), 70000u);
  EXPECT_EQ(loaded.Items()[69999]->itemId, "id69999");
  EXPECT_EQ(loaded.Find("id12345")->Property("PR_LAST_MODIFICATION_TIME"), "12345");
}

TEST(CDataItemListFormat, ValuesRoundTripIncludingEmptyAndNonBmpText) {
  CDataItemList list;
  list.Add(Record("", {{"PR_DISPLAY_NAME", "Zoë 🎵"}, {"PR_COMMENT", ""}}));
  list.Add(Record("x", {}));
  CDataItemList loaded;
  ASSERT_TRUE(loaded.Deserialize(list.Serialize()));
  ASSERT_EQ(loaded.Count(), 2u);
  const auto first = loaded.Items()[0];
  EXPECT_EQ(first->itemId, "");
  EXPECT_EQ(first->properties, (std::map<std::string, std::string>{{"PR_DISPLAY_NAME", "Zoë 🎵"}, {"PR_COMMENT", ""}}));
  EXPECT_TRUE(loaded.Items()[1]->properties.empty());
  // The musical note is a surrogate pair: 0xD83C 0xDFB5.
  EXPECT_NE(list.Serialize().find(Bytes({0x3C, 0xD8, 0xB5, 0xDF})), std::string::npos);
}

TEST(CDataItemListFormat, LoadedRecordsStayPackedWhileTheListIsComparedAndSaved) {
  CDataItemList list;
  list.Add(Record("a", {{"PR_DISPLAY_NAME", "Ada"}, {"PR_LAST_MODIFICATION_TIME", "1"}}));
  list.Add(Record("b", {{"PR_DISPLAY_NAME", "Bob"}}));
  const std::string bytes = list.Serialize();
  CDataItemList loaded;
  ASSERT_TRUE(loaded.Deserialize(bytes));
  EXPECT_EQ(loaded.Find("a")->PropertyView("PR_LAST_MODIFICATION_TIME"), "1");
  EXPECT_EQ(loaded.Serialize(), bytes);
  for (const CDataItem::Ptr& record : loaded.Items()) EXPECT_TRUE(record->properties.IsPacked()) << record->itemId;
  // A list of expanded records packs in place and still writes the same bytes.
  list.PackRecords();
  EXPECT_TRUE(list.Find("b")->properties.IsPacked());
  EXPECT_EQ(list.Serialize(), bytes);
}

TEST(CDataItemListFormat, EightBitStringsWrittenByHandAreRead) {
  // One record: key "ab" as 8-bit text, one property "N" = "v" 8-bit, the key's value in UTF-16.
  const std::string bytes = Bytes({0x01, 0x00, 0x02, 'a', 'b', 0x02, 0x00, 0x01, 'N', 0x01, 'v',
                                   0xFF, 0xFE, 0xFF, 0x01, 'M', 0, 0x00});
  CDataItemList list;
  ASSERT_TRUE(list.Deserialize(bytes));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.First()->itemId, "ab");
  EXPECT_EQ(list.First()->Property("N"), "v");
  EXPECT_TRUE(list.First()->properties.count("M"));
  EXPECT_EQ(list.First()->Property("M"), "");
}

TEST(CDataItemListFormat, EightBitStringsLongerThan254UseThe16BitLength) {
  std::string bytes = Bytes({0x01, 0x00, 0xFF, 0x2C, 0x01});
  bytes += std::string(300, 'q');
  bytes += Bytes({0x00, 0x00});
  CDataItemList list;
  ASSERT_TRUE(list.Deserialize(bytes));
  EXPECT_EQ(list.First()->itemId, std::string(300, 'q'));
}

TEST(CDataItemListFormat, EightBitTextIsConvertedFromTheLocaleCodeset) {
  LocaleGuard guard;
  const std::string record = Bytes({0x01, 0x00, 0x02, 0xC3, 0xA9, 0x00, 0x00});
  if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr) {
    CDataItemList list;
    ASSERT_TRUE(list.Deserialize(record));
    EXPECT_EQ(list.First()->itemId, "é");
  }
  // In the plain C locale bytes above 0x7F have no conversion: they are read as Latin-1.
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  CDataItemList list;
  ASSERT_TRUE(list.Deserialize(Bytes({0x01, 0x00, 0x01, 0xE9, 0x00, 0x00})));
  EXPECT_EQ(list.First()->itemId, "é");
}

TEST(CDataItemListFormat, DamagedContentLoadsAsEmpty) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"count promises more records than the file holds", Bytes({0x03, 0x00, 0x01, 'a', 0x00, 0x00})},
      {"32-bit count far beyond the file", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 'a', 0, 0})},
      {"string cut in the middle", Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0x05, 'a', 0})},
      {"32-bit string length beyond the file", Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0})},
      {"property count beyond the file", Bytes({0x01, 0x00, 0x01, 'a', 0x09, 0x00, 0x01, 'N', 0x01, 'v'})},
      {"property value missing", Bytes({0x01, 0x00, 0x01, 'a', 0x01, 0x00, 0x01, 'N'})},
      {"single byte", Bytes({0x01})},
  };
  TempDir dir;
  for (const auto& c : cases) {
    CDataItemList list;
    list.Add(Record("stale"));
    EXPECT_FALSE(list.Deserialize(c.bytes)) << c.what;
    EXPECT_EQ(list.Count(), 0u) << c.what;
    EXPECT_EQ(list.Find("a"), nullptr) << c.what;
    EXPECT_EQ(list.Find("stale"), nullptr) << c.what;
    // The file is read in pieces, with the same verdict.
    WriteFileBytes(dir.File("Link.dat"), c.bytes);
    list.SetPath(dir.Path(), "Link");
    list.Add(Record("stale"));
    EXPECT_NO_THROW(list.LoadFile()) << c.what;
    EXPECT_EQ(list.Count(), 0u) << c.what;
    EXPECT_EQ(list.Find("stale"), nullptr) << c.what;
  }
}

TEST(CDataItemListAccess, DuplicateKeysFindAndRemoveActOnTheFirstAndBothAreSaved) {
  CDataItemList list;
  const auto first = Record("dup", {{"n", "1"}});
  const auto second = Record("dup", {{"n", "2"}});
  list.Add(Record("other"));
  list.Add(first);
  list.Add(second);
  EXPECT_EQ(list.Find("dup"), first);

  CDataItemList reloaded;
  ASSERT_TRUE(reloaded.Deserialize(list.Serialize()));
  ASSERT_EQ(reloaded.Count(), 3u);
  EXPECT_EQ(reloaded.Find("dup")->Property("n"), "1");

  EXPECT_TRUE(list.Remove("dup"));
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.Find("dup"), second);
  EXPECT_EQ(first.use_count(), 1);  // the list released its handle
  EXPECT_TRUE(list.Remove("dup"));
  EXPECT_EQ(list.Find("dup"), nullptr);
  EXPECT_FALSE(list.Remove("dup"));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.First()->itemId, "other");
}

TEST(CDataItemListAccess, FindIsExactAndCaseSensitive) {
  CDataItemList list;
  list.Add(Record("Abc"));
  EXPECT_NE(list.Find("Abc"), nullptr);
  EXPECT_EQ(list.Find("abc"), nullptr);
  EXPECT_EQ(list.Find("Ab"), nullptr);
  EXPECT_TRUE(list.Contains("Abc"));
  EXPECT_FALSE(list.Contains("ABC"));
}

TEST(CDataItemListAccess, RemoveByTheRecordsOwnKeyWhenTheListHoldsTheLastHandle) {
  CDataItemList list;
  list.Add(Record("only"));
  list.Add(Record("later"));
  list.Add(Record("only"));
  const std::string& ownKey = list.Items()[0]->itemId;
  EXPECT_TRUE(list.Remove(ownKey));
  EXPECT_EQ(list.Find("only"), list.Items()[1]);
}

TEST(CDataItemListAccess, FirstAndNextWalkInOrderAndStopPastTheEnd) {
  CDataItemList list;
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);
  list.Add(Record("a"));
  list.Add(Record("b"));
  std::string seen;
  for (auto item = list.First(); item; item = list.Next()) seen += item->itemId;
  EXPECT_EQ(seen, "ab");
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.First()->itemId, "a");
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Find("a"), nullptr);
}

TEST(CDataItemListAccess, RecordSharedBetweenListsOutlivesEitherList) {
  auto record = Record("s");
  {
    CDataItemList one, two;
    one.Add(record);
    two.Add(record);
    one.Clear();
    EXPECT_EQ(two.Find("s"), record);
  }
  EXPECT_EQ(record.use_count(), 1);
}

TEST(CDataItemListFile, PathIsSetOnlyFromANonEmptyFolderAndName) {
  CDataItemList list;
  list.SetPath("/cfg/", "Contacts");
  EXPECT_EQ(list.Path(), "/cfg/Contacts.dat");
  list.SetPath("", "Other");
  list.SetPath("/x/", "");
  EXPECT_EQ(list.Path(), "/cfg/Contacts.dat");
}

TEST(CDataItemListFile, MissingFileIsCreatedEmptyAndPrivateAndZeroBytesLoadEmpty) {
  TempDir dir;
  CDataItemList list;
  list.SetPath(dir.Path(), "Link");
  list.Add(Record("stale"));
  const mode_t mask = ::umask(022);  // the usual mask, which alone would leave the file readable by all
  list.LoadFile();
  ::umask(mask);
  EXPECT_EQ(list.Count(), 0u);
  ASSERT_TRUE(std::filesystem::exists(dir.File("Link.dat")));
  EXPECT_EQ(std::filesystem::file_size(dir.File("Link.dat")), 0u);
  EXPECT_EQ(std::filesystem::status(dir.File("Link.dat")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  list.LoadFile();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(CDataItemListFile, AnIndexOfManyPiecesIsSavedAsItsFileFormAndLoadsBack) {
  TempDir dir;
  CDataItemList list;
  list.SetPath(dir.Path(), "Link");
  for (int i = 0; i < 3000; ++i) {
    list.Add(Record("c" + std::to_string(i) + ".vcf", {{"PR_DISPLAY_NAME", "Zoë " + std::to_string(i)}, {"PR_COMMENT", std::string(i % 300, 'n')}}));
  }
  // A value longer than a piece, so that one string is read across several of them.
  std::string body(100000, 'b');
  body.append("ü");
  list.Add(Record("long", {{"PR_BODY", body}}));
  const std::string bytes = list.Serialize();
  ASSERT_GT(bytes.size(), 4u << 16) << "the save must span several pieces";
  list.SaveFile();
  EXPECT_TRUE(ReadFileBytes(dir.File("Link.dat")) == bytes);

  CDataItemList loaded;
  loaded.SetPath(dir.Path(), "Link");
  loaded.LoadFile();
  ASSERT_EQ(loaded.Count(), list.Count());
  EXPECT_EQ(loaded.Find("c2999.vcf")->PropertyView("PR_DISPLAY_NAME"), "Zoë 2999");
  EXPECT_EQ(loaded.Find("long")->PropertyView("PR_BODY"), list.Find("long")->PropertyView("PR_BODY"));
  EXPECT_TRUE(loaded.Serialize() == bytes);
}

TEST(CDataItemListFile, SaveThenLoadGivesTheSameRecordsAndLoadDoesNotTruncate) {
  TempDir dir;
  CDataItemList saved;
  saved.SetPath(dir.Path(), "Link");
  saved.Add(Record("1", {{"PR_ENTRYID", "1"}, {"PR_LAST_MODIFICATION_TIME", "46000.5"}}));
  saved.Add(Record("2", {{"PR_ENTRYID", "2"}}));
  saved.SaveFile();
  const std::string onDisk = ReadFileBytes(dir.File("Link.dat"));
  EXPECT_EQ(onDisk, saved.Serialize());

  CDataItemList loaded;
  loaded.SetPath(dir.Path(), "Link");
  loaded.LoadFile();
  ASSERT_EQ(loaded.Count(), 2u);
  EXPECT_EQ(loaded.Find("1")->properties, saved.Find("1")->properties);
  EXPECT_EQ(loaded.Find("1")->kind, ITEM_CONTACT);
  EXPECT_EQ(ReadFileBytes(dir.File("Link.dat")), onDisk);
}

TEST(CDataItemListFile, TruncatedFileLoadsEmptyWithoutError) {
  TempDir dir;
  CDataItemList list;
  list.SetPath(dir.Path(), "Link");
  list.Add(Record("abc", {{"k", "v"}}));
  const std::string full = list.Serialize();
  WriteFileBytes(dir.File("Link.dat"), full.substr(0, full.size() - 1));
  EXPECT_NO_THROW(list.LoadFile());
  EXPECT_EQ(list.Count(), 0u);
}

TEST(CDataItemListFile, UnreadableOrUnwritablePathsThrowTheirStringIds) {
  TempDir dir;
  CDataItemList list;
  list.SetPath(dir.Path() + "missing/", "Link");
  try {
    list.LoadFile();
    FAIL() << "LoadFile succeeded in a missing folder";
  } catch (const CDataItemListException& error) {
    EXPECT_EQ(error.StringId(), IDS_INDEX_LOAD_ERROR);
  }
  try {
    list.SaveFile();
    FAIL() << "SaveFile succeeded in a missing folder";
  } catch (const CDataItemListException& error) {
    EXPECT_EQ(error.StringId(), IDS_INDEX_SAVE_ERROR);
  }
  CDataItemList unset;
  EXPECT_THROW(unset.LoadFile(), CDataItemListException);
  EXPECT_THROW(unset.SaveFile(), CDataItemListException);
}

// A full disk is simulated with a file-size limit in a child process, so the new index is cut
// half-way; the previous file must stay as it was and still load.
TEST(CDataItemListFile, SaveFailingHalfWayLeavesThePreviousIndexReadable) {
  TempDir dir;
  CDataItemList previous;
  previous.SetPath(dir.Path(), "Link");
  previous.Add(Record("kept", {{"PR_LAST_MODIFICATION_TIME", "1"}}));
  previous.SaveFile();
  const std::string before = ReadFileBytes(dir.File("Link.dat"));

  const int result = RunWithFileSizeLimit(4096, [&] {
    CDataItemList bigger;
    bigger.SetPath(dir.Path(), "Link");
    for (int i = 0; i < 2000; ++i) bigger.Add(Record("new" + std::to_string(i), {{"k", "v"}}));
    try {
      bigger.SaveFile();
    } catch (const CDataItemListException& error) {
      return error.StringId() == IDS_INDEX_SAVE_ERROR ? 1 : 2;
    }
    return 0;
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFileBytes(dir.File("Link.dat")), before);
  CDataItemList loaded;
  loaded.SetPath(dir.Path(), "Link");
  loaded.LoadFile();
  ASSERT_EQ(loaded.Count(), 1u);
  EXPECT_EQ(loaded.First()->itemId, "kept");
}
