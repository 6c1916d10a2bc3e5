// Building cards (flags, values, charset conversion) and writing them as vCard 2.1 and 3.0 text.
#include <gtest/gtest.h>

#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/VCardSerializer.h"
#include "pim/VCardStream.h"

namespace {

std::string Serialized(const PVCard& card) {
  std::unique_ptr<VCardOutputStream> stream;
  EXPECT_EQ(SerializeVCard(card, stream), VCARD_OK);
  return stream->Content();
}

PVCardProperty Property(VCardContext& context, int type, uint32_t flags, std::initializer_list<std::string_view> values,
                        std::string_view charset = "utf-8") {
  PVCardProperty property(&context, charset, type);
  EXPECT_EQ(property.SetEncodingFlags(flags), VCARD_OK);
  for (const auto value : values) EXPECT_EQ(property.AddValue(value, "utf-8"), VCARD_OK);
  return property;
}

TEST(PVCardProperty, EncodingFlagsEncodeExistingValuesAndRefuseAConflict) {
  VCardContext context;
  PVCardProperty property(&context, "utf-8", PROPERTY_NOTE);
  ASSERT_EQ(property.AddValue("a b", "utf-8"), VCARD_OK);
  EXPECT_EQ(property.SetEncodingFlags(PROPERTY_QUOTED_PRINTABLE | PROPERTY_PREFERRED), VCARD_OK);
  EXPECT_EQ(property.Values()[0].Text(), "a=20b");
  EXPECT_EQ(property.SetEncodingFlags(PROPERTY_BASE64), VCARD_BASE64_ON_QP);
  EXPECT_EQ(context.LastResult(), VCARD_BASE64_ON_QP);
  EXPECT_EQ(property.Flags(), PROPERTY_QUOTED_PRINTABLE | PROPERTY_PREFERRED);
  ASSERT_EQ(property.ClearEncodingFlags(PROPERTY_QUOTED_PRINTABLE), VCARD_OK);
  EXPECT_EQ(property.Values()[0].Text(), "a b");
  EXPECT_EQ(property.Flags(), PROPERTY_PREFERRED);

  ASSERT_EQ(property.SetEncodingFlags(PROPERTY_BASE64), VCARD_OK);
  EXPECT_EQ(property.Values()[0].Text(), "YSBi");
  EXPECT_EQ(property.SetEncodingFlags(PROPERTY_QUOTED_PRINTABLE), VCARD_QP_ON_BASE64);
  EXPECT_EQ(property.AddValue("c", "utf-8"), VCARD_OK);
  EXPECT_EQ(property.Values()[1].Text(), "Yw==") << "later values are encoded as the flags ask";
}

TEST(PVCardProperty, AddValueConvertsToThePropertysCharsetAndNeedsAName) {
  VCardContext context;
  PVCardProperty latin1(&context, "ISO-8859-1", PROPERTY_FN);
  EXPECT_EQ(latin1.AddValue("x", ""), VCARD_NAME_MISSING);
  ASSERT_EQ(latin1.AddValue("Müller", "UTF-8"), VCARD_OK);
  EXPECT_EQ(latin1.Values()[0].Text(), "M\xFCller");
  EXPECT_EQ(latin1.Values()[0].Charset(), "ISO-8859-1");
  EXPECT_EQ(latin1.ValueText(0), "Müller");
  EXPECT_EQ(latin1.AddValue("x", "x-unknown-set"), VCARD_VALUE_FAILED);
  EXPECT_EQ(latin1.AddValue("\xE9", "utf-8"), VCARD_VALUE_FAILED) << "not valid UTF-8";
  EXPECT_EQ(latin1.Values().size(), 1u);
  EXPECT_EQ(latin1.ValueText(5), "");
}

TEST(PVCard, TakesTheFirstPropertyCharsetAndRefusesAMissingNestedCard) {
  VCardContext context;
  PVCard card(&context, 3);
  card.AddProperty(PVCardProperty(&context, "", PROPERTY_FN));
  EXPECT_EQ(card.Charset(), "");
  card.AddProperty(PVCardProperty(&context, "UTF-8", PROPERTY_N));
  card.AddProperty(PVCardProperty(&context, "ISO-8859-1", PROPERTY_NOTE));
  EXPECT_EQ(card.Charset(), "UTF-8");
  EXPECT_EQ(card.AddCard(nullptr), VCARD_NESTED_CARD_MISSING);
  EXPECT_EQ(card.FindProperty(PROPERTY_NOTE)->Charset(), "ISO-8859-1");
  EXPECT_EQ(card.FindProperty(PROPERTY_TEL), nullptr);
}

TEST(ConvertCardCharset, ConvertsEveryValueKeepingItsTransferEncoding) {
  VCardContext context;
  PVCard card(&context, 2);
  card.AddProperty(Property(context, PROPERTY_FN, 0, {"Jürgen"}, "ISO-8859-1"));
  card.AddProperty(Property(context, PROPERTY_NOTE, PROPERTY_QUOTED_PRINTABLE, {"Köln"}, "ISO-8859-1"));
  ASSERT_EQ(ConvertCardCharset(card, "utf-8"), VCARD_OK);
  EXPECT_EQ(card.Charset(), "utf-8");
  EXPECT_EQ(card.Properties()[0].Charset(), "utf-8");
  EXPECT_EQ(card.Properties()[0].Values()[0].Text(), "Jürgen");
  EXPECT_EQ(card.Properties()[1].Values()[0].Text(), "K=C3=B6ln");
  EXPECT_EQ(ConvertCardCharset(card, ""), VCARD_NAME_MISSING);
}

TEST(ConvertCardCharset, SameNameOrNoCardCharsetChangesNothing) {
  VCardContext context;
  PVCard card(&context, 3);
  card.AddProperty(Property(context, PROPERTY_FN, 0, {"é"}, ""));
  EXPECT_EQ(ConvertCardCharset(card, "ISO-8859-1"), VCARD_OK);
  EXPECT_EQ(card.Properties()[0].Values()[0].Text(), "é");
  card.SetCharset("UTF-8");
  EXPECT_EQ(ConvertCardCharset(card, "utf-8"), VCARD_OK);
  EXPECT_EQ(card.Properties()[0].Values()[0].Text(), "é");
}

// A 2.1 property names its character set only when a value needs it (a byte beyond ASCII).
TEST(VCardSerializer, Version21WritesBareTypeCharsetAndEncodingParameters) {
  VCardContext context;
  PVCard card(&context, 2);
  card.SetCharset("utf-8");
  const uint32_t all = PROPERTY_HOME | PROPERTY_WORK | PROPERTY_FAX | PROPERTY_CELL | PROPERTY_VOICE | PROPERTY_PAGER |
                       PROPERTY_PREFERRED | PROPERTY_7BIT | PROPERTY_8BIT | PROPERTY_INSTANT_MESSAGING;
  card.AddProperty(Property(context, PROPERTY_TEL, all, {"1"}));
  card.AddProperty(Property(context, PROPERTY_FN, 0, {"Zoë"}));
  card.AddProperty(Property(context, PROPERTY_NOTE, PROPERTY_QUOTED_PRINTABLE, {"a b"}, ""));
  card.AddProperty(Property(context, PROPERTY_NOTE, PROPERTY_BASE64, {"hi"}, ""));
  card.AddProperty(PVCardProperty(&context, "", PROPERTY_UNKNOWN));
  EXPECT_EQ(Serialized(card),
            "BEGIN:VCARD\nVERSION:2.1\n"
            "TEL;HOME;WORK;FAX;CELL;VOICE;PAGER;PREF:1\n"
            "FN;CHARSET=utf-8:Zoë\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE:a=20b\n"
            "NOTE;ENCODING=BASE64:aGk=\n"
            "END:VCARD\n");
}

// vCard 3.0 is UTF-8 text with its own escapes: no CHARSET line, no quoted-printable (a value that
// was quoted-printable goes out decoded), base64 where a value is binary.
TEST(VCardSerializer, Version30WritesOneTypeListAndNeitherCharsetNorQuotedPrintable) {
  VCardContext context;
  PVCard card(&context, 3);
  card.AddProperty(Property(context, PROPERTY_EMAIL, PROPERTY_WORK | PROPERTY_PREFERRED | PROPERTY_8BIT, {"a@x"}));
  card.AddProperty(Property(context, PROPERTY_LABEL, PROPERTY_HOME | PROPERTY_QUOTED_PRINTABLE, {"=x"}));
  card.AddProperty(Property(context, PROPERTY_X_AIM, PROPERTY_INSTANT_MESSAGING, {"aim"}));
  card.AddProperty(Property(context, PROPERTY_NOTE, PROPERTY_QUOTED_PRINTABLE, {"a\r\nb=3Dc"}, ""));
  card.AddProperty(Property(context, PROPERTY_NOTE, PROPERTY_BASE64, {"hi"}, ""));
  EXPECT_EQ(Serialized(card),
            "BEGIN:VCARD\nVERSION:3.0\n"
            "EMAIL;TYPE=WORK,PREF:a@x\n"
            "LABEL;TYPE=HOME:=x\n"
            "X-AIM:aim\n"
            "NOTE:a\\nb=3Dc\n"
            "NOTE;ENCODING=BASE64:aGk=\n"
            "END:VCARD\n");
}

TEST(VCardSerializer, EscapesBackslashesEverywhereAndSemicolonsInsideComponents) {
  VCardContext context;
  PVCard card(&context, 3);
  card.AddProperty(Property(context, PROPERTY_ORG, 0, {"A;B\\C", "D"}, ""));
  card.AddProperty(Property(context, PROPERTY_NOTE, 0, {"x;y\\z"}, ""));
  EXPECT_EQ(Serialized(card), "BEGIN:VCARD\nVERSION:3.0\nORG:A\\;B\\\\C;D\nNOTE:x;y\\\\z\nEND:VCARD\n");
}

TEST(VCardSerializer, LineBreaksAreNeverWrittenRaw) {
  VCardContext context;
  PVCard card(&context, 2);
  card.AddProperty(Property(context, PROPERTY_ADR, PROPERTY_HOME, {"", "a\r\nb"}, ""));
  PVCardProperty parsedQp(&context, "", PROPERTY_NOTE);
  parsedQp.SetEncodingFlags(PROPERTY_QUOTED_PRINTABLE);
  parsedQp.AppendValue(EncodedText(&context, ENCODED_STATE_ENCODED, "utf-8", TRANSFER_QUOTED_PRINTABLE, "x\ny"));
  card.AddProperty(std::move(parsedQp));
  PVCardProperty wrappedBase64(&context, "", PROPERTY_NOTE);
  wrappedBase64.SetEncodingFlags(PROPERTY_BASE64);
  wrappedBase64.AppendValue(EncodedText(&context, ENCODED_STATE_ENCODED, "utf-8", TRANSFER_BASE64, "YW\r\nJj"));
  card.AddProperty(std::move(wrappedBase64));
  EXPECT_EQ(Serialized(card),
            "BEGIN:VCARD\nVERSION:2.1\n"
            "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;a=0D=0Ab\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE:x=0Ay\n"
            "NOTE;ENCODING=BASE64:YWJj\n"
            "END:VCARD\n");
}

TEST(VCardSerializer, NestedCardsFollowTheProperties) {
  VCardContext context;
  PVCard card(&context, 2);
  card.AddProperty(Property(context, PROPERTY_FN, 0, {"Boss"}, ""));
  auto agent = std::make_unique<PVCard>(&context, 2);
  agent->AddProperty(Property(context, PROPERTY_FN, 0, {"Aide"}, ""));
  ASSERT_EQ(card.AddCard(std::move(agent)), VCARD_OK);
  const std::string text = Serialized(card);
  EXPECT_EQ(text, "BEGIN:VCARD\nVERSION:2.1\nFN:Boss\nBEGIN:VCARD\nVERSION:2.1\nFN:Aide\nEND:VCARD\nEND:VCARD\n");
  const auto parsed = Zep3_PVCard_FromStream(&context, text);
  ASSERT_EQ(parsed->Cards().size(), 1u);
  EXPECT_EQ(parsed->Cards()[0]->Properties()[0].ValueText(0), "Aide");
}

TEST(VCardSerializer, OutputAboveTheCeilingFailsWithoutPartialWrites) {
  VCardContext context;
  PVCard card(&context, 3);
  card.AddProperty(Property(context, PROPERTY_NOTE, 0, {std::string(200, 'x')}, ""));
  auto stream = std::make_unique<VCardOutputStream>(100);
  EXPECT_EQ(SerializeVCard(card, stream), VCARD_STREAM_TOO_LARGE);
  EXPECT_EQ(stream->Content(), "BEGIN:VCARD\nVERSION:3.0\n");
}

}  // namespace
