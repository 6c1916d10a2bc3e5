// The German and French libraries: the look-up order over a real library, and tables whose texts
// fit the English ones (same conversions, valid UTF-8, every interface text translated).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "common/StringTable.h"
#include "common/StringTable_p.h"
#include "common/TextCodec.h"
#include "platform/shell/SharedLibrary.h"

namespace {

std::string LibraryPath(const std::string& code) { return LARK_BINARY_DIR "/bin/lang/resource." + code + ".so"; }

// The printf conversions of a text, in order ("%s%d" for "Item %s of %d"); "%%" is no conversion.
std::string Conversions(const std::string& text) {
  std::string result;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (text[i + 1] == '%') {
      ++i;
      continue;
    }
    result += '%';
    result += text[i + 1];
  }
  return result;
}

// Ids whose text is the same in every language and is left to the program's own table.
bool SharedByAllLanguages(unsigned id) {
  return (id >= IDS_LANG_EN && id <= IDS_LANG_RU) || id == IDS_MAIN_TITLE || id == IDS_LOGIN_TITLE ||
         id == IDS_LANGUAGE_NEEDS_DISPLAY;
}

// What a Linux user must not read in any language: names and files of another desktop's
// applications, a misspelling the program once had, or two spaces in a row. Empty when `text` is fine.
std::string ForeignOrMisspelt(const std::string& text, bool english) {
  static const std::regex kForeign("microsoft|windows|wab32|\\.dll|registry|registrierung|clé de registre|mapi",
                                   std::regex::icase);
  static const std::regex kMisspelt("syncron", std::regex::icase);
  static const std::regex kBritish("synchronis", std::regex::icase);
  std::smatch found;
  if (std::regex_search(text, found, kForeign) || std::regex_search(text, found, kMisspelt) ||
      (english && std::regex_search(text, found, kBritish))) {
    return found.str();
  }
  return text.find("  ") != std::string::npos ? "two spaces" : "";
}

TEST(EnglishTable, NamesTheLinuxApplicationsWithoutMisspellings) {
  for (const StringEntry& english : EnglishStringEntries()) {
    EXPECT_EQ(ForeignOrMisspelt(english.text, true), "") << english.id << ": " << english.text;
  }
}

class LanguageLibrary : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    mLibrary = std::make_unique<SharedLibrary>(LibraryPath(GetParam()));
    ASSERT_TRUE(mLibrary->IsLoaded()) << mLibrary->Error();
    mLookup = reinterpret_cast<LanguageStringFunction>(mLibrary->Symbol(kLanguageStringSymbol));
    ASSERT_NE(mLookup, nullptr);
  }

  std::unique_ptr<SharedLibrary> mLibrary;
  LanguageStringFunction mLookup = nullptr;
};

TEST_P(LanguageLibrary, TranslatesEveryInterfaceTextWithTheSameConversions) {
  for (const StringEntry& english : EnglishStringEntries()) {
    const char* text = mLookup(english.id);
    if (SharedByAllLanguages(english.id)) continue;
    ASSERT_NE(text, nullptr) << "no text for " << english.id;
    EXPECT_NE(std::string(text), "") << english.id;
    EXPECT_TRUE(IsValidUtf8(text)) << english.id;
    EXPECT_EQ(Conversions(text), Conversions(english.text)) << english.id << ": " << text;
    EXPECT_EQ(ForeignOrMisspelt(text, false), "") << english.id << ": " << text;
  }
}

TEST_P(LanguageLibrary, AnswersOnlyIdentifiersTheProgramKnows) {
  for (unsigned id = 0; id < 5000; ++id) {
    if (mLookup(id) != nullptr) {
      EXPECT_FALSE(EnglishString(id).empty()) << id;
    }
  }
  EXPECT_EQ(mLookup(0xFFFFFFFFu), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageLibrary, ::testing::Values("de", "fr"));

class LookupOrder : public ::testing::Test {
 protected:
  ~LookupOrder() override { FreeLanguageLibrary(); }
};

TEST_F(LookupOrder, LibraryTextFirstThenTheProgramsOwn) {
  ASSERT_TRUE(LoadLanguageLibrary(LibraryPath("de")));
  EXPECT_EQ(LoadString(IDS_CANCEL), "Abbrechen");
  EXPECT_EQ(LoadString(IDS_LANGUAGE_LABEL), "Sprache:");
  EXPECT_EQ(LoadString(IDS_MAIN_TITLE), " %s");  // not in the library
  EXPECT_EQ(LoadString(IDS_LANG_RU), EnglishString(IDS_LANG_RU));
  EXPECT_EQ(EnglishString(IDS_CANCEL), "Cancel");
}

TEST_F(LookupOrder, AnotherLibraryReplacesTheFirstAndFreeingReturnsToEnglish) {
  ASSERT_TRUE(LoadLanguageLibrary(LibraryPath("de")));
  ASSERT_TRUE(LoadLanguageLibrary(LibraryPath("fr")));
  EXPECT_EQ(LoadString(IDS_CANCEL), "Annuler");
  FreeLanguageLibrary();
  EXPECT_EQ(LoadString(IDS_CANCEL), "Cancel");
}

TEST_F(LookupOrder, FailedLoadLeavesEnglishNotTheEarlierLibrary) {
  ASSERT_TRUE(LoadLanguageLibrary(LibraryPath("de")));
  EXPECT_FALSE(LoadLanguageLibrary(LibraryPath("none")));
  EXPECT_EQ(LoadString(IDS_CANCEL), "Cancel");
}

}  // namespace
