// The program's own string table: sorted, complete for every identifier, exact texts.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/StringTable.h"
#include "common/StringTable_p.h"

namespace {

TEST(EnglishStringTable, IsStrictlySortedSoBinarySearchFindsEveryEntry) {
  const auto entries = EnglishStringEntries();
  ASSERT_FALSE(entries.empty());
  for (size_t i = 1; i < entries.size(); ++i) {
    EXPECT_LT(entries[i - 1].id, entries[i].id) << "entry " << i;
  }
  for (const StringEntry& entry : entries) {
    EXPECT_EQ(EnglishString(entry.id), entry.text) << entry.id;
  }
}

// Every enumerator of StringIds.h must have a non-empty English text: a new identifier without
// its text would show an empty message box.
TEST(EnglishStringTable, HasATextForEveryDeclaredIdentifier) {
  std::ifstream header(LARK_SOURCE_DIR "/common/StringIds.h");
  ASSERT_TRUE(header) << "cannot read StringIds.h";
  std::stringstream content;
  content << header.rdbuf();
  const std::string text = content.str();
  int count = 0;
  // Enumerators are written "  IDS_NAME = number,".
  for (size_t pos = text.find("  IDS_"); pos != std::string::npos; pos = text.find("  IDS_", pos + 1)) {
    const size_t equals = text.find(" = ", pos);
    ASSERT_NE(equals, std::string::npos);
    const std::string name = text.substr(pos + 2, equals - pos - 2);
    const unsigned id = static_cast<unsigned>(std::stoul(text.substr(equals + 3)));
    EXPECT_FALSE(EnglishString(id).empty()) << name << " = " << id << " has no English text";
    ++count;
  }
  EXPECT_EQ(static_cast<size_t>(count), EnglishStringEntries().size());
}

// The described texts stay as they are, leading and trailing spaces and line breaks included; the
// double space and the misspelling they had are fixed.
TEST(EnglishStringTable, KeepsTheExactTextsIncludingOddSpacingAndLineBreaks) {
  EXPECT_EQ(EnglishString(IDS_MAIN_TITLE), " %s");
  EXPECT_EQ(EnglishString(IDS_ABOUT_TITLE), " About %s");
  EXPECT_EQ(EnglishString(IDS_PERIOD_WEEK), "Synchronize events for the last week");
  EXPECT_EQ(EnglishString(IDS_OTHER_CONTACTS), "Other contacts ");
  EXPECT_EQ(EnglishString(IDS_ABOUT_TEXT), "%s %s\nBased on SyncML 1.1.2\n%s");
  EXPECT_EQ(EnglishString(IDS_COMMUNICATION_ERROR),
            "Unable to communicate with the synchronization server. See error log for details.");
  EXPECT_EQ(EnglishString(IDS_LANG_CZ), "\xC4\x8C" "esky");
  EXPECT_EQ(EnglishString(IDS_LANG_RU), "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9");
}

TEST(EnglishStringTable, CoversTheDescribedRangeEndpoints) {
  EXPECT_EQ(EnglishString(100), "&About %s...");
  EXPECT_EQ(EnglishString(333).rfind("An updated version of this application exists.", 0), 0u);
  EXPECT_EQ(EnglishString(224), "English");
  EXPECT_EQ(EnglishString(233), EnglishString(IDS_LANG_RU));
}

TEST(StringLookup, AnswersEmptyForUnknownIdentifiersAndEnglishWithoutALibrary) {
  FreeLanguageLibrary();
  EXPECT_EQ(LoadString(99), "");
  EXPECT_EQ(LoadString(334), "");
  EXPECT_EQ(LoadString(0xFFFFFFFFu), "");
  EXPECT_EQ(LoadString(IDS_CANCEL), "Cancel");
}

TEST(StringLookup, KeepsEnglishWhenALibraryCannotBeLoaded) {
  EXPECT_FALSE(LoadLanguageLibrary("/nonexistent/lang/resource.xx.so"));
  EXPECT_EQ(LoadString(IDS_LANGUAGE_LABEL), "Language:");
}

}  // namespace
