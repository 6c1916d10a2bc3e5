// Transfer codecs and EncodedText state handling: round trips, soft line breaks, broken input.
#include <gtest/gtest.h>

#include "pim/EncodedText.h"
#include "pim/VCardContext.h"

namespace {

std::string QpDecoded(std::string_view text) {
  std::string out;
  EXPECT_TRUE(QuotedPrintableDecode(text, out));
  return out;
}

std::string Base64Decoded(std::string_view text) {
  std::string out;
  EXPECT_TRUE(Base64Decode(text, out));
  return out;
}

TEST(QuotedPrintable, EscapesControlsSpaceEqualsAndHighBytesOnOneLine) {
  EXPECT_EQ(QuotedPrintableEncode("a "), "a=20");
  EXPECT_EQ(QuotedPrintableEncode("\xC3\xA9"), "=C3=A9");
  EXPECT_EQ(QuotedPrintableEncode("x=1\r\n\t\x7F~!"), "x=3D1=0D=0A=09=7F~!");
  const std::string longText(500, 'a');
  EXPECT_EQ(QuotedPrintableEncode(longText), longText) << "no soft line breaks are inserted";
}

TEST(QuotedPrintable, DecodesEitherCaseSoftBreaksAndBrokenEscapes) {
  EXPECT_EQ(QpDecoded("=c3=a9"), "\xC3\xA9");
  EXPECT_EQ(QpDecoded("=C3=A9"), "\xC3\xA9");
  EXPECT_EQ(QpDecoded("ab=\r\ncd"), "abcd");
  EXPECT_EQ(QpDecoded("ab=\ncd"), "abcd") << "bare LF soft line break";
  EXPECT_EQ(QpDecoded("ab=\rcd"), "abcd");
  EXPECT_EQ(QpDecoded("a=4xb"), "axb") << "= and the lone digit are dropped";
  EXPECT_EQ(QpDecoded("a=zz"), "azz") << "only the = is dropped";
  EXPECT_EQ(QpDecoded("end="), "end");
  EXPECT_EQ(QpDecoded("end=4"), "end");
}

TEST(QuotedPrintable, RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(QpDecoded(QuotedPrintableEncode(all)), all);
  EXPECT_EQ(QpDecoded(QuotedPrintableEncode("Grüße, Zoë\r\nZeile 2")), "Grüße, Zoë\r\nZeile 2");
}

TEST(QEncoding, WritesSpaceAsUnderscoreAndEscapesUnderscore) {
  EXPECT_EQ(QEncode("a b_c"), "a_b=5Fc");
  std::string out;
  ASSERT_TRUE(QDecode("a_b=5Fc=C3=A9", out));
  EXPECT_EQ(out, "a b_c\xC3\xA9");
}

TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode(std::string(300, 'x')).find('\n'), std::string::npos);
}

TEST(Base64, DecodesSkippingWhitespaceAndStoppingAtPaddingOrForeignCharacters) {
  EXPECT_EQ(Base64Decoded("Zm9v\r\n YmFy\t"), "foobar");
  EXPECT_EQ(Base64Decoded("Zm8=Zm9v"), "fo") << "padding ends the data";
  EXPECT_EQ(Base64Decoded("Zm9v!YmFy"), "foo");
  std::string out;
  EXPECT_FALSE(Base64Decode("", out));
}

TEST(Base64, RoundTripsBinaryAndNonAscii) {
  std::string all;
  for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
  for (size_t n = 0; n < 5; ++n) EXPECT_EQ(Base64Decoded(Base64Encode(all.substr(n))), all.substr(n));
  EXPECT_EQ(Base64Decoded(Base64Encode("日本語 text")), "日本語 text");
}

TEST(SevenBit, ClearsTheHighBit) { EXPECT_EQ(SevenBitEncode("A\xC1z"), "AAz"); }

TEST(EncodedText, EncodeThenDecodeRestoresBytesAndTracksState) {
  for (const int encoding : {TRANSFER_QUOTED_PRINTABLE, TRANSFER_BASE64, TRANSFER_Q, TRANSFER_NONE}) {
    EncodedText value(nullptr, ENCODED_STATE_PLAIN, "utf-8", TRANSFER_UNSET, "Straße 5\nOben");
    ASSERT_EQ(value.Encode(encoding), ENCODED_OK) << encoding;
    EXPECT_EQ(value.State(), ENCODED_STATE_ENCODED);
    EXPECT_EQ(value.Encoding(), encoding);
    ASSERT_EQ(value.Decode(), ENCODED_OK);
    EXPECT_EQ(value.State(), ENCODED_STATE_PLAIN);
    EXPECT_EQ(value.Text(), "Straße 5\nOben") << encoding;
  }
}

TEST(EncodedText, EncodingTwiceIsIdempotentButAnotherEncodingIsRefused) {
  VCardContext context;
  EncodedText value(&context, ENCODED_STATE_PLAIN, "utf-8", TRANSFER_UNSET, "a b");
  ASSERT_EQ(value.Encode(TRANSFER_QUOTED_PRINTABLE), ENCODED_OK);
  EXPECT_EQ(value.Encode(TRANSFER_QUOTED_PRINTABLE), ENCODED_OK);
  EXPECT_EQ(value.Text(), "a=20b");
  EXPECT_EQ(value.Encode(TRANSFER_BASE64), ENCODED_OTHER_ENCODING);
  EXPECT_EQ(value.Text(), "a=20b");
  EXPECT_EQ(context.LastResult(), ENCODED_OTHER_ENCODING);
}

TEST(EncodedText, UnknownOrMissingEncodingIsReported) {
  EncodedText value(nullptr, ENCODED_STATE_UNSET, "utf-8", TRANSFER_UNSET, "x");
  EXPECT_EQ(value.Decode(), ENCODED_UNKNOWN_ENCODING);
  EXPECT_EQ(value.Encode(), ENCODED_UNKNOWN_ENCODING);
  EXPECT_EQ(value.Encode(9), ENCODED_UNKNOWN_ENCODING);
  EXPECT_EQ(value.Text(), "x");
}

TEST(EncodedText, EmptyTextStaysEmptyWhenEncoded) {
  for (const int encoding : {TRANSFER_QUOTED_PRINTABLE, TRANSFER_7BIT, TRANSFER_Q, TRANSFER_BASE64}) {
    EncodedText value(nullptr, ENCODED_STATE_PLAIN, "utf-8", TRANSFER_UNSET, "");
    EXPECT_EQ(value.Encode(encoding), ENCODED_OK);
    EXPECT_EQ(value.Text(), "");
    EXPECT_EQ(value.State(), ENCODED_STATE_ENCODED);
  }
}

TEST(EncodedText, FailedBase64DecodeKeepsTextAndState) {
  EncodedText value(nullptr, ENCODED_STATE_ENCODED, "utf-8", TRANSFER_BASE64, "");
  EXPECT_EQ(value.Decode(), ENCODED_DECODE_FAILED);
  EXPECT_EQ(value.State(), ENCODED_STATE_ENCODED);
}

TEST(EncodedText, ValuesKeepZeroBytes) {
  const std::string bytes("a\0b", 3);
  EncodedText value(nullptr, ENCODED_STATE_PLAIN, "utf-8", TRANSFER_UNSET, bytes);
  ASSERT_EQ(value.Encode(TRANSFER_BASE64), ENCODED_OK);
  ASSERT_EQ(value.Decode(), ENCODED_OK);
  EXPECT_EQ(value.Text(), bytes);
}

TEST(EncodeTransfer, QuotedPrintableOfProgramTextOrTheInputWhenNothingResults) {
  EXPECT_EQ(EncodeTransfer("Zeile 1\nZeile 2 \xC3\xA4", TRANSFER_QUOTED_PRINTABLE), "Zeile=201=0AZeile=202=20=C3=A4");
  EXPECT_EQ(EncodeTransfer("", TRANSFER_QUOTED_PRINTABLE), "");
  EXPECT_EQ(EncodeTransfer("abc", 42), "abc") << "an unknown encoding returns the input";
  EXPECT_EQ(EncodeTransfer("\xE9t\xE9", TRANSFER_QUOTED_PRINTABLE), "=C3=A9t=C3=A9") << "non-UTF-8 input is made UTF-8 first";
}

}  // namespace
