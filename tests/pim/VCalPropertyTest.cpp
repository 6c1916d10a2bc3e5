// vCalendar property lines: names, parameters (quoted values read whole), folding, decoding and escaping.
#include <gtest/gtest.h>

#include "pim/VCalProperty.h"

namespace {

VCalProperty ReadOne(std::string_view text) {
  size_t position = 0;
  VCalProperty property;
  EXPECT_TRUE(ReadVCalProperty(text, position, property));
  return property;
}

}  // namespace

TEST(ReadVCalProperty, ReadsNameParametersAndValueAndMovesPastTheLine) {
  const std::string text = "DTSTART;VALUE=DATE:20240301\nSUMMARY:Review: Q1, plans; budget=ok\n";
  size_t position = 0;
  std::string name, value;
  VCalParams params;
  ASSERT_TRUE(ReadVCalProperty(text, position, name, value, params));
  EXPECT_EQ(name, "DTSTART");
  EXPECT_EQ(value, "20240301");
  EXPECT_EQ(params, (VCalParams{{"VALUE", "DATE"}}));
  ASSERT_TRUE(ReadVCalProperty(text, position, name, value, params));
  EXPECT_EQ(name, "SUMMARY");
  EXPECT_EQ(value, "Review: Q1, plans; budget=ok");
  EXPECT_TRUE(params.empty());
  EXPECT_EQ(position, text.size());
  EXPECT_FALSE(ReadVCalProperty(text, position, name, value, params));
}

TEST(ReadVCalProperty, QuotedParameterValueIsReadWhole) {
  const VCalProperty attendee =
      ReadOne("ATTENDEE;CN=\"Smith, Bob; Jr: PhD\";PARTSTAT=ACCEPTED:MAILTO:bob@example.com\n");
  EXPECT_EQ(attendee.name, "ATTENDEE");
  EXPECT_EQ(attendee.Param("CN"), "Smith, Bob; Jr: PhD");
  EXPECT_EQ(attendee.Param("PARTSTAT"), "ACCEPTED");
  EXPECT_EQ(attendee.value, "MAILTO:bob@example.com");
  EXPECT_EQ(ReadOne("ATTENDEE;CN='Bob':MAILTO:b@x\n").Param("CN"), "Bob");
  EXPECT_EQ(ReadOne("X;A=1,B=\"two\":v\n").params, (VCalParams{{"A", "1"}, {"B", "two"}}));
}

TEST(ReadVCalProperty, MultiValuedQuotedParametersAreReadWhole) {
  const VCalProperty attendee = ReadOne(
      "ATTENDEE;DELEGATED-TO=\"mailto:a@x\",\"mailto:b@x\";CN=\"Lee, Ann\";PARTSTAT=DELEGATED:mailto:ann@x\n");
  EXPECT_EQ(attendee.Param("DELEGATED-TO"), "mailto:a@x,mailto:b@x");
  EXPECT_EQ(attendee.Param("CN"), "Lee, Ann");
  EXPECT_EQ(attendee.Param("PARTSTAT"), "DELEGATED");
  EXPECT_EQ(attendee.value, "mailto:ann@x");
  EXPECT_EQ(ReadOne("ATTENDEE;MEMBER=\"mailto:g@x\":mailto:c@x\n").Param("MEMBER"), "mailto:g@x");
}

TEST(ReadVCalProperty, UnbalancedQuoteDoesNotSwallowTheLine) {
  const VCalProperty attendee = ReadOne("ATTENDEE;CN=\"Bob:MAILTO:bob@example.com\nSUMMARY:x\n");
  EXPECT_EQ(attendee.Param("CN"), "\"Bob");
  EXPECT_EQ(attendee.value, "MAILTO:bob@example.com");
}

TEST(ReadVCalProperty, FoldedLinesAreJoined) {
  EXPECT_EQ(ReadOne("SUMMARY:Quarterly\n  planning\n\tmeeting\n").value, "Quarterly planningmeeting");
  // A fold inside the parameters too.
  const VCalProperty attendee = ReadOne("ATTENDEE;CN=\"Ann\n e\";PARTSTAT=TENTATIVE:MAILTO:a@x\n");
  EXPECT_EQ(attendee.Param("CN"), "Anne");
  EXPECT_EQ(attendee.Param("PARTSTAT"), "TENTATIVE");
}

TEST(ReadVCalProperty, QuotedPrintableSoftLineBreaksContinueTheValue) {
  const std::string text =
      "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Line one=0D=0A=\nline two caf=C3=\n=A9\nSUMMARY:next\n";
  size_t position = 0;
  VCalProperty property;
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.value, "Line one\r\nline two café");
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.name, "SUMMARY");
}

TEST(ReadVCalProperty, BareEncodingParameterOfOlderSendersIsHonoured) {
  const VCalProperty property = ReadOne("DESCRIPTION;QUOTED-PRINTABLE;CHARSET=ISO-8859-1:caf=E9\n");
  EXPECT_EQ(property.params, (VCalParams{{"QUOTED-PRINTABLE", ""}, {"CHARSET", "ISO-8859-1"}}));
  EXPECT_EQ(property.value, "café");
}

TEST(ReadVCalProperty, OddLinesGiveEmptyNamesOrValues) {
  const std::string text = "\n:orphan\nNOCOLON\n;X=1:v\n=SUMMARY:s\nLAST:no line end";
  size_t position = 0;
  VCalProperty property;
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property, VCalProperty());
  EXPECT_EQ(position, 1u);
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.name, "");
  EXPECT_EQ(property.value, "orphan");
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.name, "NOCOLON");
  EXPECT_EQ(property.value, "");
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.name, "");
  EXPECT_EQ(property.Param("X"), "1");
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.name, "SUMMARY");
  ASSERT_TRUE(ReadVCalProperty(text, position, property));
  EXPECT_EQ(property.name, "LAST");
  EXPECT_EQ(property.value, "no line end");
  EXPECT_FALSE(ReadVCalProperty(text, position, property));
  // A CR before the LF is not part of the value.
  EXPECT_EQ(ReadOne("SUMMARY:x\r\n").value, "x");
}

TEST(DecodeVCalValue, InterpretsEscapesInOnePass) {
  EXPECT_EQ(DecodeVCalValue("a\\,b\\;c\\\\d\\ne\\Nf\\:g", {}), "a,b;c\\d\ne\nf\\:g");
  EXPECT_EQ(DecodeVCalValue("C:\\\\new", {}), "C:\\new");
  EXPECT_EQ(DecodeVCalValue("trailing\\", {}), "trailing\\");
  EXPECT_EQ(DecodeVCalValue("fold\n ed", {}), "folded");
}

TEST(DecodeVCalValue, TransferDecodesAndConvertsTheCharacterSet) {
  EXPECT_EQ(DecodeVCalValue("caf=C3=A9", {{"ENCODING", "QUOTED-PRINTABLE"}}), "café");
  EXPECT_EQ(DecodeVCalValue("caf=E9", {{"ENCODING", "QUOTED-PRINTABLE"}, {"CHARSET", "ISO-8859-1"}}), "café");
  EXPECT_EQ(DecodeVCalValue("SGVsbG8gV8O2cmxk", {{"ENCODING", "BASE64"}}), "Hello Wörld");
  EXPECT_EQ(DecodeVCalValue("\xE9t\xE9", {{"CHARSET", "ISO-8859-1"}}), "été");
  // Only the exact names select an encoding.
  EXPECT_EQ(DecodeVCalValue("a=3Db", {{"ENCODING", "quoted-printable"}}), "a=3Db");
}

TEST(DecodeVCalValue, FailuresKeepTheUnescapedValue) {
  EXPECT_EQ(DecodeVCalValue("caf=E9\\, ok", {{"ENCODING", "QUOTED-PRINTABLE"}, {"CHARSET", "X-NO-SUCH-SET"}}),
            "caf=E9, ok");
  // Bytes named UTF-8 that are not get a replacement character, never the encoded text; without
  // a name they are read as ISO-8859-1.
  EXPECT_EQ(DecodeVCalValue("caf=E9", {{"ENCODING", "QUOTED-PRINTABLE"}, {"CHARSET", "UTF-8"}}), "caf\uFFFD");
  EXPECT_EQ(DecodeVCalValue("caf\xE9 ok", {{"CHARSET", "utf8"}}), "caf\uFFFD ok");
  EXPECT_EQ(DecodeVCalValue("caf=E9", {{"ENCODING", "QUOTED-PRINTABLE"}}), "café");
  EXPECT_EQ(DecodeVCalValue("", {{"ENCODING", "BASE64"}}), "");
}

TEST(EscapeVCalValue, BackslashesAndLineBreaksReadBackUnchanged) {
  EXPECT_EQ(EscapeVCalValue("a\\b\r\nc\nd\re, f; g"), "a\\\\b\\nc\\nd\\ne, f; g");
  for (const std::string text : {"plain", "C:\\new\\table", "two\nlines", "ends with \\", "\\n literal", "a,b;c"}) {
    EXPECT_EQ(DecodeVCalValue(EscapeVCalValue(text), {}), text) << text;
  }
}
