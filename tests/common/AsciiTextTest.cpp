// ASCII letter case and blank trimming of protocol text.
#include <gtest/gtest.h>

#include <string>

#include "common/AsciiText.h"

TEST(AsciiText, LowercaseTouchesOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLowercase("Content-Type: Text/X-VCard; Charset=UTF-8"), "content-type: text/x-vcard; charset=utf-8");
  // UTF-8 text stays intact: bytes above 0x7F are never letters here.
  EXPECT_EQ(AsciiLowercase("\xC3\x89T\xC3\xA9"), "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(AsciiLowercase(std::string("A\0[Z]@", 6)), std::string("a\0[z]@", 6));
}

TEST(AsciiText, TrimBlanksRemovesSpacesAndTabsAtBothEndsOnly) {
  EXPECT_EQ(TrimBlanks(" \t a b \t"), "a b");
  EXPECT_EQ(TrimBlanks(" \t "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks("\r\nx\r\n"), "\r\nx\r\n");
}
