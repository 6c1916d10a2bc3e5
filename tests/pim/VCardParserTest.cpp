// vCard parser: line syntax rules, real servers' cards (golden dumps), limits and failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/VCardStream.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// A readable dump of everything the parser kept: card header, each property's type, charset and
// flags, each value's state, encoding, charset and bytes, and its decoded text.
void DumpCard(const PVCard& card, const std::string& indent, std::string& out) {
  out += indent + "CARD version=" + std::to_string(card.Version()) + " charset=" + card.Charset() + "\n";
  for (const auto& property : card.Properties()) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%03X", static_cast<unsigned>(property.Flags()));
    out += indent + "  " + std::string(PropertyTypeName(property.Type())) + " charset=" + property.Charset() +
           " flags=" + flags + "\n";
    for (size_t i = 0; i < property.Values().size(); ++i) {
      const EncodedText& value = property.Values()[i];
      out += indent + "    [" + std::to_string(value.State()) + "/" + std::to_string(value.Encoding()) + " " +
             value.Charset() + "] |" + Printable(value.Text()) + "| => |" + Printable(property.ValueText(i)) + "|\n";
    }
  }
  for (const auto& nested : card.Cards()) DumpCard(*nested, indent + "    ", out);
}

PVCardPtr Parse(std::string_view text, VCardContext& context) { return Zep3_PVCard_FromStream(&context, text); }

PVCardPtr Parse(std::string_view text) {
  static VCardContext context;
  return Parse(text, context);
}

std::vector<std::string> Texts(const PVCardProperty& property) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < property.Values().size(); ++i) texts.push_back(property.ValueText(i));
  return texts;
}

std::vector<std::string> Raw(const PVCardProperty& property) {
  std::vector<std::string> raw;
  for (const auto& value : property.Values()) raw.push_back(value.Text());
  return raw;
}

using Strings = std::vector<std::string>;

TEST(VCardParserHeader, BeginAndEndLinesMatchInAnyCaseButEndMustBeTheWholeLine) {
  const auto card = Parse("junk\nbegin:vcard\nFN:A\nEND:VCARD \nNOTE:still inside\nEnd:VCard\nTITLE:after\n");
  ASSERT_NE(card, nullptr);
  ASSERT_EQ(card->Properties().size(), 2u);
  EXPECT_EQ(card->Properties()[1].Type(), PROPERTY_NOTE);
}

TEST(VCardParserHeader, VersionAndCardCharsetLines) {
  EXPECT_EQ(Parse("BEGIN:VCARD\nVERSION:2.1\nEND:VCARD\n")->Version(), 2u);
  EXPECT_EQ(Parse("BEGIN:VCARD\nversion:3.0\nEND:VCARD\n")->Version(), 3u);
  EXPECT_EQ(Parse("BEGIN:VCARD\nVERSION\nFN:x\nEND:VCARD\n")->Properties().size(), 1u) << "no colon: no failure";
  const auto card = Parse("BEGIN:VCARD\nCHARSET:ISO-8859-1\nFN:M\xFCller\nEND:VCARD\n");
  EXPECT_EQ(card->Charset(), "ISO-8859-1");
  EXPECT_EQ(card->Properties()[0].Charset(), "ISO-8859-1");
  EXPECT_EQ(card->Properties()[0].ValueText(0), "Müller");
}

TEST(VCardParserHeader, NoCardNoContextOrEmptyTextGiveNull) {
  VCardContext context;
  EXPECT_EQ(Parse("FN:x\nEND:VCARD\n", context), nullptr);
  EXPECT_EQ(Parse("", context), nullptr);
  EXPECT_EQ(Zep3_PVCard_FromStream(nullptr, "BEGIN:VCARD\nEND:VCARD\n"), nullptr);
}

TEST(VCardParserLines, UnknownNamesAndLinesWithoutColonAreDropped) {
  const auto card = Parse("BEGIN:VCARD\nX-EVOLUTION-FILE-AS:Doe\nREV:2010\nno colon\nEMAIL:b@x\nEND:VCARD\n");
  ASSERT_EQ(card->Properties().size(), 1u);
  EXPECT_EQ(card->Properties()[0].ValueText(0), "b@x");
}

// Every character of a name counts: a name one letter away from a known one is unknown, in any
// position; the letter case does not count.
TEST(VCardParserLines, ANameOneLetterAwayFromAKnownOneIsUnknown) {
  for (int type = 0; type < 64; ++type) {
    const std::string name(PropertyTypeName(type));
    if (name.empty()) continue;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(PropertyTypeFromName(lower), type) << lower;
    for (std::size_t at = 0; at < name.size(); ++at) {
      std::string other = name;
      other[at] = other[at] == 'Q' ? 'Z' : 'Q';
      EXPECT_EQ(PropertyTypeFromName(other), PROPERTY_UNKNOWN) << other << " read as " << name;
    }
  }
}

TEST(VCardParserLines, GroupedNamesReadAsTheirProperty) {
  const auto card = Parse(
      "BEGIN:VCARD\nVERSION:3.0\nitem1.EMAIL;type=INTERNET;type=pref:a@x\nitem1.X-ABLabel:_$!<Other>!$_\n"
      "item2.TEL;type=CELL:+1 555\nITEM3.ADR;TYPE=HOME:;;Main St 1;Springfield;;12345;USA\nEND:VCARD\n");
  ASSERT_EQ(card->Properties().size(), 3u);
  EXPECT_EQ(card->Properties()[0].Type(), PROPERTY_EMAIL);
  EXPECT_EQ(card->Properties()[0].Flags(), PROPERTY_PREFERRED);
  EXPECT_EQ(card->Properties()[1].Type(), PROPERTY_TEL);
  EXPECT_EQ(card->Properties()[1].Flags(), PROPERTY_CELL);
  EXPECT_EQ(Texts(card->Properties()[2]), (Strings{"", "", "Main St 1", "Springfield", "", "12345", "USA"}));
}

TEST(VCardParserLines, StructuredValuesSplitOnSemicolonsOthersStayWhole) {
  const auto card = Parse("BEGIN:VCARD\nN:Doe;John;;;\nNOTE:a;b\nORG:Acme\\; Sons;Sales\nEND:VCARD\n");
  EXPECT_EQ(Texts(card->Properties()[0]), (Strings{"Doe", "John", "", "", ""}));
  EXPECT_EQ(Texts(card->Properties()[1]), (Strings{"a;b"}));
  EXPECT_EQ(Texts(card->Properties()[2]), (Strings{"Acme; Sons", "Sales"}));
}

TEST(VCardParserLines, EscapesAreResolved) {
  const auto card = Parse("BEGIN:VCARD\nNOTE:a\\nb\\Nc\\,d\\\\e\\;f\\xg\nADR:;;1\\\\;2\\\\\\;3\nURL:http\\://a.example/\nEND:VCARD\n");
  EXPECT_EQ(Texts(card->Properties()[0]), (Strings{"a\nb\nc,d\\e;f\\xg"}));
  EXPECT_EQ(Texts(card->Properties()[1]), (Strings{"", "", "1\\", "2\\;3"}));
  EXPECT_EQ(Texts(card->Properties()[2]), (Strings{"http://a.example/"})) << "some writers escape the colon";
}

TEST(VCardParserLines, QuotedPrintableSoftBreaksAndPlainContinuationLines) {
  const auto card = Parse(
      "BEGIN:VCARD\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\nb=\n=C3=A9\nTITLE:first\nsecond line\n\nEND:VCARD\n");
  EXPECT_EQ(Raw(card->Properties()[0]), (Strings{"ab=C3=A9"}));
  EXPECT_EQ(card->Properties()[0].ValueText(0), "abé");
  EXPECT_EQ(Raw(card->Properties()[1]), (Strings{"first\r\nsecond line"})) << "an empty line continues nothing";
}

TEST(VCardParserLines, EmptyLinesInsideAContinuedValueKeepTheTextAfterThem) {
  const auto card = Parse("BEGIN:VCARD\nVERSION:2.1\nNOTE:para one\n\npara two\n\n\nlast\n\nTEL:1\nEND:VCARD\n");
  ASSERT_EQ(card->Properties().size(), 2u);
  EXPECT_EQ(card->Properties()[0].ValueText(0), "para one\r\n\r\npara two\r\n\r\n\r\nlast");
  EXPECT_EQ(card->Properties()[1].ValueText(0), "1");
}

TEST(VCardParserLines, BlankAfterASoftLineBreakIsTextIn21AndTheFoldMarkerIn30) {
  const std::string note = "NOTE;ENCODING=QUOTED-PRINTABLE:Hello=\n world=\n\tand =C3=A9\n more\nEND:VCARD\n";
  const auto card21 = Parse("BEGIN:VCARD\nVERSION:2.1\n" + note);
  EXPECT_EQ(card21->Properties()[0].ValueText(0), "Hello world\tand é more");
  // vCard 3.0 continuation lines all begin with a blank: after a soft break it is no text.
  const auto card30 = Parse("BEGIN:VCARD\nVERSION:3.0\n" + note);
  EXPECT_EQ(card30->Properties()[0].ValueText(0), "Helloworldand émore");
  const auto written = Parse(
      "BEGIN:VCARD\nVERSION:3.0\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;*=D0=90=\n =D0=B2=D0=B8=D0=B0;;;\nEND:VCARD\n");
  EXPECT_EQ(written->Properties()[0].ValueText(1), "*Авиа");
  const auto folded = Parse("BEGIN:VCARD\nVERSION:3.0\nNOTE;ENCODING=QUOTED-PRINTABLE:caf=\n C3=A9 ok\nEND:VCARD\n");
  EXPECT_EQ(folded->Properties()[0].ValueText(0), "café ok") << "a 3.0 fold through an escape stays a fold";
}

TEST(VCardParserLines, A21FoldInsideAUtf8SequenceLosesItsBlank) {
  const auto plain = Parse("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=UTF-8:J\xC3\n \xBCrgen M\xC3\xBCller\n one\nEND:VCARD\n");
  EXPECT_EQ(plain->Properties()[0].ValueText(0), "Jürgen Müller one") << "between characters the blank stays";
  const auto quoted = Parse("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=\n =BCrgen=\n Bauer\nEND:VCARD\n");
  EXPECT_EQ(quoted->Properties()[0].ValueText(0), "Jürgen Bauer");
}

TEST(VCardParserParameters, Utf8CharsetOnOtherBytesGivesReplacementCharacters) {
  const auto card = Parse("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=UTF-8:M\xFCller\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:caf=E9\n"
                          "TITLE:Gesch\xE4" "ftsf\xFC" "hrer\nEND:VCARD\n");
  EXPECT_EQ(card->Properties()[0].ValueText(0), "M\uFFFDller");
  EXPECT_EQ(card->Properties()[1].ValueText(0), "caf\uFFFD");
  // Without a CHARSET of its own the card's set (UTF-8, from the first property) applies too.
  EXPECT_EQ(card->Properties()[2].ValueText(0), "Gesch\uFFFDftsf\uFFFDhrer");
}

TEST(VCardParserLines, FoldedLinesAreJoinedWhateverTheyHold) {
  const auto card = Parse(
      "BEGIN:VCARD\nVERSION:3.0\nNOTE:see http:\n //example.com/a\n\tb\nTEL;TYPE=WORK,\n VOICE:+1 555\nEND:VCARD\n");
  ASSERT_EQ(card->Properties().size(), 2u);
  EXPECT_EQ(card->Properties()[0].ValueText(0), "see http://example.com/ab");
  EXPECT_EQ(card->Properties()[1].Flags(), PROPERTY_WORK | PROPERTY_VOICE);
  EXPECT_EQ(card->Properties()[1].ValueText(0), "+1 555");
  const auto card21 = Parse("BEGIN:VCARD\nVERSION:2.1\nNOTE:one\n two\nEND:VCARD\n");
  EXPECT_EQ(card21->Properties()[0].ValueText(0), "one two") << "2.1 keeps the folding blank";
}

TEST(VCardParserLines, LongLinesAreReadWhole) {
  const std::string longValue(5000, 'x');
  const auto card = Parse("BEGIN:VCARD\nNOTE:" + longValue + "\nEND:VCARD\n");
  ASSERT_EQ(card->Properties().size(), 1u);
  EXPECT_EQ(card->Properties()[0].ValueText(0), longValue);
}

TEST(VCardParserLines, CrLfAndBareLfLineEndsReadAlike) {
  const auto crlf = Parse("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo\r\nEND:VCARD\r\nFN:outside\r\n");
  const auto lf = Parse("BEGIN:VCARD\nVERSION:2.1\nN:Doe;Jo\nEND:VCARD\nFN:outside\n");
  std::string a, b;
  DumpCard(*crlf, "", a);
  DumpCard(*lf, "", b);
  EXPECT_EQ(a, b);
  EXPECT_EQ(crlf->Properties().size(), 1u);
}

TEST(VCardParserParameters, FlagsComeFromTextsAnywhereInTheParameters) {
  const auto card = Parse(
      "BEGIN:VCARD\nEMAIL;TYPE=INTERNET;PREF:x\nTEL;TYPE=HOMEFAX:1\nTEL;type=cell;type=voice:2\n"
      "NOTE;ENCODING=\"B\":eA==\nNOTE;ENCODING=b:eQ==\nNOTE;ENCODING=Q:=41\nTEL;TYPE=CAR:3\nEND:VCARD\n");
  const auto& properties = card->Properties();
  ASSERT_EQ(properties.size(), 7u);
  EXPECT_EQ(properties[6].Flags(), PROPERTY_CAR);
  EXPECT_EQ(properties[0].Flags(), PROPERTY_PREFERRED);
  EXPECT_EQ(properties[1].Flags(), PROPERTY_HOME | PROPERTY_FAX);
  EXPECT_EQ(properties[2].Flags(), PROPERTY_CELL | PROPERTY_VOICE);
  EXPECT_EQ(properties[3].ValueText(0), "x");
  EXPECT_EQ(properties[4].ValueText(0), "y");
  EXPECT_EQ(properties[5].ValueText(0), "A");
}

TEST(VCardParserParameters, FirstCharsetParameterBecomesTheCardsAndLaterPropertiesInheritIt) {
  const auto card = Parse("BEGIN:VCARD\nFN:a\nN;CHARSET=UTF-8:b\nNOTE:c\nTITLE;CHARSET=\"ISO-8859-1\":d\nEND:VCARD\n");
  EXPECT_EQ(card->Charset(), "UTF-8");
  EXPECT_EQ(card->Properties()[0].Charset(), "");
  EXPECT_EQ(card->Properties()[0].Values()[0].Charset(), "iso-8859-1");
  EXPECT_EQ(card->Properties()[1].Charset(), "UTF-8");
  EXPECT_EQ(card->Properties()[2].Charset(), "UTF-8");
  EXPECT_EQ(card->Properties()[3].Charset(), "ISO-8859-1");
}

TEST(VCardParserNesting, NestedCardsBelongToTheCardTheyBeginIn) {
  const auto card = Parse(
      "BEGIN:VCARD\nVERSION:2.1\nFN:Boss\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nFN:Assistant\nEND:VCARD\nTEL:1\nEND:VCARD\n");
  ASSERT_EQ(card->Cards().size(), 1u);
  EXPECT_EQ(card->Cards()[0]->Properties()[0].ValueText(0), "Assistant");
  ASSERT_EQ(card->Properties().size(), 2u);
  EXPECT_EQ(card->Properties()[1].Type(), PROPERTY_TEL);
}

TEST(VCardParserLimits, DeepNestingStopsTheParseButKeepsTheCard) {
  std::string text = "BEGIN:VCARD\nFN:top\n";
  for (int i = 0; i < 100; ++i) text += "BEGIN:VCARD\n";
  VCardContext context;
  const auto card = Parse(text, context);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->Properties().size(), 1u);
  EXPECT_EQ(context.LastResult(), VCARD_NESTING_TOO_DEEP);
}

TEST(VCardParserLimits, OversizedInputAndValueFloodsAreRefused) {
  VCardContext context;
  const std::string huge = "BEGIN:VCARD\nNOTE:" + std::string(kMaxVCardBytes, 'x') + "\nEND:VCARD\n";
  EXPECT_EQ(Parse(huge, context), nullptr);
  EXPECT_EQ(context.LastResult(), VCARD_STREAM_TOO_LARGE);

  const auto card = Parse("BEGIN:VCARD\nFN:x\nN:" + std::string(kMaxVCardValues + 10, ';') + "\nEND:VCARD\n", context);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->Properties().size(), 1u);
  EXPECT_EQ(context.LastResult(), VCARD_TOO_MANY_VALUES);
}

TEST(VCardParserLimits, InputEndingInsideASoftLineBreakDropsThatProperty) {
  VCardContext context;
  const auto card = Parse("BEGIN:VCARD\nFN:x\nNOTE;QUOTED-PRINTABLE:abc=", context);
  ASSERT_NE(card, nullptr);
  ASSERT_EQ(card->Properties().size(), 1u);
  EXPECT_EQ(context.LastResult(), VCARD_OK);
}

TEST(VCardInputStream, PeekDoesNotConsumeAndSeekMovesBack) {
  VCardInputStream stream;
  ASSERT_EQ(stream.Open("a\r\nb\nc", 100), VCARD_OK);
  std::string_view line;
  ASSERT_TRUE(stream.PeekLine(line));
  EXPECT_EQ(line, "a");
  ASSERT_TRUE(stream.ReadLine(line));
  const size_t mark = stream.Tell();
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, "b");
  stream.Seek(mark);
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, "b");
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, "c");
  EXPECT_FALSE(stream.ReadLine(line));
  EXPECT_EQ(stream.Open("abc", 2), VCARD_STREAM_TOO_LARGE);
  EXPECT_FALSE(stream.ReadLine(line));
}

// Golden dumps: every .vcf under the vcard data folder against its .vcf.ref. With
// LARK_UPDATE_GOLDEN set the references are rewritten instead (review the diff before committing).
class VCardParserGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(VCardParserGolden, ParsesToTheReferenceDump) {
  const std::string path = GetParam();
  const std::string text = ReadFileBytes(path);
  ASSERT_FALSE(text.empty()) << path;
  VCardContext context;
  const auto card = Parse(text, context);
  ASSERT_NE(card, nullptr) << path;
  EXPECT_EQ(context.LastResult(), VCARD_OK);
  std::string dump;
  DumpCard(*card, "", dump);
  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) WriteFileBytes(path + ".ref", dump);
  EXPECT_EQ(dump, ReadFileBytes(path + ".ref")) << path;
}

std::vector<std::string> GoldenCards() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(std::string(LARK_TEST_DATA) + "/vcard")) {
    if (entry.path().extension() == ".vcf") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string GoldenName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = fs::path(file.param).parent_path().filename().string() + "_" + fs::path(file.param).stem().string();
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, VCardParserGolden, ::testing::ValuesIn(GoldenCards()), GoldenName);

}  // namespace
