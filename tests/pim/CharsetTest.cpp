// Character set conversion: iconv sets, the ASCII fallback, unknown sets, modified UTF-7 of IMAP.
#include <gtest/gtest.h>

#include "pim/Charset.h"
#include "pim/EncodedText.h"
#include "pim/Utf7Imap.h"

namespace {

std::string Converted(std::string_view from, std::string_view to, std::string_view input) {
  std::string out;
  EXPECT_EQ(ConvertCharset(from, to, input, out), ENCODED_OK) << from << " -> " << to;
  return out;
}

TEST(ConvertCharset, ConvertsBetweenIconvSetsInAnyLetterCase) {
  EXPECT_EQ(Converted("ISO-8859-1", "utf-8", "M\xFCller"), "Müller");
  EXPECT_EQ(Converted("UTF-8", "iso-8859-1", "Müller"), "M\xFCller");
  EXPECT_EQ(Converted("windows-1252", "UTF-8", "\x80"), "€");
  EXPECT_EQ(Converted("utf-8", "UTF-16BE", "é"), std::string("\x00\xE9", 2));
  EXPECT_EQ(Converted("utf-8", "UTF-8", ""), "");
}

TEST(ConvertCharset, GrowsBeyondFiveTimesTheInput) {
  const std::string converted = Converted("US-ASCII", "UTF-32", "a");
  EXPECT_EQ(converted.size(), 8u) << "byte order mark and one character";
}

TEST(ConvertCharset, AsciiLabelledTextWithHighBytesIsReadAsLatin1) {
  EXPECT_EQ(Converted("US-ASCII", "utf-8", "caf\xE9"), "café");
  EXPECT_EQ(Converted("ascii", "utf-8", "caf\xE9"), "café");
  std::string out = "untouched";
  EXPECT_EQ(ConvertCharset("UTF-8", "utf-16", "caf\xE9", out), ENCODED_CONVERSION_FAILED);
  EXPECT_EQ(out, "untouched");
}

TEST(ConvertCharset, UnknownEmptyOrMalformedNamesHaveNoConverter) {
  std::string out = "untouched";
  EXPECT_EQ(ConvertCharset("x-no-such-set", "utf-8", "a", out), ENCODED_NO_CONVERTER);
  EXPECT_EQ(ConvertCharset("", "utf-8", "a", out), ENCODED_NO_CONVERTER);
  EXPECT_EQ(ConvertCharset("utf-8", "ASCII//TRANSLIT", "a", out), ENCODED_NO_CONVERTER);
  EXPECT_EQ(ConvertCharset(std::string(100, 'A'), "utf-8", "a", out), ENCODED_NO_CONVERTER);
  EXPECT_EQ(out, "untouched");
}

TEST(ImapUtf7, EncodesAndDecodesUnderAllThreeNames) {
  for (const char* name : {"UTF-7-2060", "unicode-1-1-utf-7-2060", "CSUNICODE11UTF72060"}) {
    EXPECT_EQ(Converted("utf-8", name, "Entwürfe & Co"), "Entw&APw-rfe &- Co") << name;
    EXPECT_EQ(Converted(name, "utf-8", "Entw&APw-rfe &- Co"), "Entwürfe & Co") << name;
  }
  EXPECT_EQ(Converted("utf-8", "UTF-7-2060", "台北"), "&U,BTFw-");
  EXPECT_EQ(Converted("UTF-7-2060", "iso-8859-1", "&AOk-t&AOk-"), "\xE9t\xE9");
}

TEST(ImapUtf7, RoundTripsCharactersOutsideTheBasicPlane) {
  const std::string text = "mail 📬 box ~&~";
  std::string encoded, decoded;
  ASSERT_TRUE(Utf8ToImapUtf7(text, encoded));
  ASSERT_TRUE(ImapUtf7ToUtf8(encoded, decoded));
  EXPECT_EQ(decoded, text);
}

TEST(ImapUtf7, RefusesMalformedInput) {
  std::string out;
  EXPECT_FALSE(ImapUtf7ToUtf8("&AOk", out)) << "unclosed run";
  EXPECT_FALSE(ImapUtf7ToUtf8("&A!k-", out)) << "character outside the alphabet";
  EXPECT_FALSE(ImapUtf7ToUtf8("&AO-", out)) << "run of an incomplete unit";
  EXPECT_FALSE(ImapUtf7ToUtf8("&2D0-", out)) << "unpaired surrogate";
  EXPECT_FALSE(ImapUtf7ToUtf8("caf\xE9", out)) << "byte outside printable ASCII";
  EXPECT_FALSE(Utf8ToImapUtf7("caf\xE9", out)) << "not UTF-8";
}

TEST(EncodedTextCharset, ConvertsDecodedBytesAndEncodesAgain) {
  EncodedText value(nullptr, ENCODED_STATE_ENCODED, "ISO-8859-1", TRANSFER_QUOTED_PRINTABLE, "M=FCller");
  ASSERT_EQ(value.ConvertCharset("utf-8"), ENCODED_OK);
  EXPECT_EQ(value.Charset(), "utf-8");
  EXPECT_EQ(value.State(), ENCODED_STATE_ENCODED);
  EXPECT_EQ(value.Text(), "M=C3=BCller");
}

TEST(EncodedTextCharset, SameNameInAnyCaseChangesNothing) {
  EncodedText value(nullptr, ENCODED_STATE_PLAIN, "UTF-8", TRANSFER_UNSET, "\xFF");
  EXPECT_EQ(value.ConvertCharset("utf-8"), ENCODED_OK);
  EXPECT_EQ(value.Text(), "\xFF");
  EXPECT_EQ(value.Charset(), "UTF-8");
  EXPECT_EQ(value.ConvertCharset(""), ENCODED_NO_OUTPUT);
}

TEST(EncodedTextCharset, UnknownSetLeavesTheValueUnchanged) {
  EncodedText value(nullptr, ENCODED_STATE_ENCODED, "x-martian", TRANSFER_QUOTED_PRINTABLE, "a=20b");
  EXPECT_EQ(value.ConvertCharset("utf-8"), ENCODED_NO_CONVERTER);
  EXPECT_EQ(value.Charset(), "x-martian");
  EXPECT_EQ(value.State(), ENCODED_STATE_ENCODED);
  EXPECT_EQ(value.Text(), "a=20b");
}

TEST(EncodedTextCharset, InvalidBytesMarkTheSetUnknown) {
  EncodedText value(nullptr, ENCODED_STATE_PLAIN, "utf-8", TRANSFER_UNSET, "caf\xE9");
  EXPECT_EQ(value.ConvertCharset("iso-8859-1"), ENCODED_CONVERSION_FAILED);
  EXPECT_EQ(value.Charset(), kCharsetUnknown);
  EXPECT_EQ(value.Text(), "caf\xE9");
}

TEST(EncodedTextCharset, UndecodableValueReportsTheDecodeFailure) {
  EncodedText value(nullptr, ENCODED_STATE_ENCODED, "iso-8859-1", TRANSFER_BASE64, "");
  EXPECT_EQ(value.ConvertCharset("utf-8"), ENCODED_DECODE_FAILED);
  EXPECT_EQ(value.State(), ENCODED_STATE_UNSET);
  EXPECT_EQ(value.Charset(), "iso-8859-1");
}

TEST(ProgramText, InvalidUtf8BecomesValidUtf8) {
  EXPECT_EQ(ProgramTextToUtf8("Müller"), "Müller");
  const std::string repaired = ProgramTextToUtf8("M\xFCller");
  EXPECT_NE(repaired, "M\xFCller");
  std::string check;
  EXPECT_EQ(ConvertCharset("utf-8", "utf-16", repaired, check), ENCODED_OK) << "result is valid UTF-8";
}

}  // namespace
