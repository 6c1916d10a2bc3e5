// UTF-8/UTF-16 conversion, including surrogate pairs and damaged input.
#include <gtest/gtest.h>

#include "common/TextCodec.h"

TEST(TextCodec, Utf16RoundTripOfBmpAndAstralCharacters) {
  const std::string text = "Zoë Ünal — 東京 🎉";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 16u);  // the emoji is a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(TextCodec, DamagedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_FALSE(IsValidUtf8("a\xFF"));
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD ok"));
}

TEST(TextCodec, Latin1BytesBecomeTheirCodePoints) { EXPECT_EQ(Latin1ToUtf8("caf\xE9\xFF"), "café\xC3\xBF"); }
