// Exception messages come from the string table, formatted with the one numeric argument.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "common/StringTable.h"

TEST(CXException, FormatsTheStringWithItsArgument) {
  const CHttpException error(IDS_HTTP_ERROR, 404);
  EXPECT_EQ(error.Message(), "HTTP error 404 : no response from server.");
  EXPECT_EQ(error.StringId(), 115u);
  ASSERT_TRUE(error.Argument().has_value());
  EXPECT_EQ(*error.Argument(), 404);
  EXPECT_STREQ(error.what(), error.Message().c_str());
}

TEST(CXException, TextWithoutArgumentAndDirectText) {
  EXPECT_EQ(CMainException(IDS_CANCELED_BY_USER).Message(), "Canceled by user");
  EXPECT_FALSE(CMainException(IDS_CANCELED_BY_USER).Argument().has_value());
  const CUpdaterException direct(std::string("disk full"));
  EXPECT_EQ(direct.Message(), "disk full");
  EXPECT_EQ(direct.StringId(), 0u);
}

TEST(CXException, SubclassesAreCaughtAsTheRoot) {
  try {
    throw CDataItemListException(IDS_INDEX_SAVE_ERROR);
  } catch (const CXException& error) {
    EXPECT_EQ(error.Message(), "Error while saving index file");
  }
}

TEST(StringTable, UnknownIdentifierIsEmptyAndEnglishIsTheFallback) {
  FreeLanguageLibrary();
  EXPECT_EQ(LoadString(99999), "");
  EXPECT_EQ(LoadString(IDS_MAIN_TITLE), " %s");
  EXPECT_EQ(LoadString(IDS_LANG_RU), "Русский");
  EXPECT_FALSE(LoadLanguageLibrary("/nonexistent/resource.xx.so"));
  EXPECT_EQ(LoadString(IDS_CANCEL), "Cancel");
}
