// CDataItem::ToVCard: golden cards of stored records, the preferred e-mail and phone rules, and
// records surviving ToVCard then parse unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "pim/CDataItem.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string Unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

// A record file: "@kind N", "@member ID", "KEY=VALUE" lines (\t \n \r \\ escapes in values);
// "#" starts a comment line.
CDataItem LoadItem(const std::string& path) {
  CDataItem item;
  std::istringstream lines(ReadFileBytes(path));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("@kind ", 0) == 0) {
      item.kind = std::stoi(line.substr(6));
    } else if (line.rfind("@member ", 0) == 0) {
      item.members.push_back(line.substr(8));
    } else {
      const size_t equals = line.find('=');
      item[line.substr(0, equals)] = Unescaped(line.substr(equals + 1));
    }
  }
  return item;
}

// Golden cards: each .item record under vcard/tovcard against the .vcf beside it, byte for byte.
class ToVCardGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(ToVCardGolden, WritesTheReferenceCard) {
  const std::string path = GetParam();
  const std::string expectedPath = fs::path(path).replace_extension(".vcf").string();
  const std::string text = LoadItem(path).ToVCard();
  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) WriteFileBytes(expectedPath, text);
  EXPECT_EQ(text, ReadFileBytes(expectedPath)) << path;
}

std::vector<std::string> GoldenItems() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(std::string(LARK_TEST_DATA) + "/vcard/tovcard")) {
    if (entry.path().extension() == ".item") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string GoldenName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = fs::path(file.param).stem().string();
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, ToVCardGolden, ::testing::ValuesIn(GoldenItems()), GoldenName);

// The TEL lines of a record's card, in order.
std::vector<std::string> TelLines(const CDataItem& item) {
  std::vector<std::string> lines;
  std::istringstream text(item.ToVCard());
  std::string line;
  while (std::getline(text, line)) {
    if (line.rfind("TEL", 0) == 0) lines.push_back(line);
  }
  return lines;
}

using Lines = std::vector<std::string>;

TEST(ToVCardPreferredPhone, AReferenceNamingAKeyMarksOnlyThatNumber) {
  CDataItem item;
  item["PR_BUSINESS_TELEPHONE_NUMBER"] = "1";
  item["PR_HOME_FAX_NUMBER"] = "2";
  item["PR_MOBILE_TELEPHONE_NUMBER"] = "3";
  item["PR_ZEP_PREF_PHONE_INDEX"] = "PR_HOME_FAX_NUMBER";
  item["PR_PRIMARY_PHONE_NUMBER"] = "1";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,VOICE:1", "TEL;TYPE=HOME,FAX,PREF:2", "TEL;TYPE=HOME,CELL:3"}));
  item["PR_ZEP_PREF_PHONE_INDEX"] = "PR_CELLULAR_TELEPHONE_NUMBER";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,VOICE:1", "TEL;TYPE=HOME,FAX:2", "TEL;TYPE=HOME,CELL,PREF:3"}));
}

TEST(ToVCardPreferredPhone, WithoutReferenceThePrimaryNumberMarksTheFirstRowHoldingIt) {
  CDataItem item;
  item["PR_BUSINESS2_TELEPHONE_NUMBER"] = "555";
  item["PR_BUSINESS_FAX_NUMBER"] = "555";
  item["PR_MOBILE_TELEPHONE_NUMBER"] = "555";
  item["PR_HOME_TELEPHONE_NUMBER"] = "555";
  item["PR_PRIMARY_PHONE_NUMBER"] = "555";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,VOICE:555", "TEL;TYPE=WORK,FAX,PREF:555", "TEL;TYPE=HOME,CELL:555",
                                   "TEL;TYPE=HOME,VOICE:555"}))
      << "the second business number is never preferred; only the first match by number is";
}

// The address book keeps a card's work pager in its own key; it goes back out, preferred by name.
TEST(ToVCardPreferredPhone, TheWorkPagerGoesOutAfterTheBusinessNumbers) {
  CDataItem item;
  item["PR_BUSINESS_TELEPHONE_NUMBER"] = "1";
  item["PR_PAGER_TELEPHONE_NUMBER"] = "2";
  item["PR_HOME_TELEPHONE_NUMBER"] = "3";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,VOICE:1", "TEL;TYPE=WORK,PAGER:2", "TEL;TYPE=HOME,VOICE:3"}));
  item["PR_ZEP_PREF_PHONE_INDEX"] = "PR_PAGER_TELEPHONE_NUMBER";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,VOICE:1", "TEL;TYPE=WORK,PAGER,PREF:2", "TEL;TYPE=HOME,VOICE:3"}));
}

TEST(ToVCardPreferredPhone, AdditionalPhoneIsPreferredOnlyWithoutAnyReference) {
  CDataItem item;
  item["PR_ZEP_ADDITIONAL_PHONES_LIST"] = "7\t8\t";
  item["PR_ZEP_ADDITIONAL_PHONES_ATTR"] = "WPP\tHC\t";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,PAGER,PREF:7", "TEL;TYPE=HOME,CELL:8"}));
  item["PR_PRIMARY_PHONE_NUMBER"] = "9";
  EXPECT_EQ(TelLines(item), (Lines{"TEL;TYPE=WORK,PAGER:7", "TEL;TYPE=HOME,CELL:8"}));
}

TEST(ToVCardPreferredEmail, TheAddressEqualToTheDefaultOrElseTheFirstIsPreferredOnce) {
  CDataItem item;
  item["PR_ZEP_EMAIL_ADDRESSES_TYPES"] = "W:\tH:a@x\tW:b@x\tH:b@x\t";
  item["PR_EMAIL_ADDRESS"] = "b@x";
  const std::string withDefault = item.ToVCard();
  EXPECT_NE(withDefault.find("EMAIL;TYPE=HOME:a@x\nEMAIL;TYPE=WORK,PREF:b@x\nEMAIL;TYPE=HOME:b@x\n"), std::string::npos)
      << withDefault;
  item["PR_EMAIL_ADDRESS"] = "";
  const std::string withoutDefault = item.ToVCard();
  EXPECT_NE(withoutDefault.find("EMAIL;TYPE=HOME,PREF:a@x\nEMAIL;TYPE=WORK:b@x\n"), std::string::npos) << withoutDefault;
}

// ToVCard then parse: the values a store would read back.
PVCardPtr RoundTrip(const CDataItem& item, VCardContext& context) {
  PVCardPtr card = Zep3_PVCard_FromStream(&context, item.ToVCard());
  EXPECT_EQ(context.LastResult(), VCARD_OK);
  return card;
}

std::vector<std::string> ValuesOf(const PVCard& card, int type, size_t occurrence = 0) {
  std::vector<std::string> values;
  for (const auto& property : card.Properties()) {
    if (property.Type() != type || occurrence-- != 0) continue;
    for (size_t i = 0; i < property.Values().size(); ++i) values.push_back(property.ValueText(i));
    break;
  }
  return values;
}

// vCard 3.0 writes a line break as "\n", which reads back as LF whatever break the record held.
TEST(ToVCardRoundTrip, LineBreaksSemicolonsAndBackslashesSurviveUnchanged) {
  CDataItem item;
  item["PR_DISPLAY_NAME"] = "O'Brien \\ Sons";
  item["PR_SURNAME"] = "Doe; Jr.";
  item["PR_COMPANY_NAME"] = "Smith; Jones & Co";
  item["PR_DEPARTMENT_NAME"] = "R\\D";
  item["PR_STREET_ADDRESS"] = "Building 7\r\nFloor 3\\n";
  item["PR_LOCALITY"] = "Zürich";
  item["PR_COMMENT"] = "Line one\nLine two; with = and \\n literally\n";
  item["PR_TITLE"] = "CTO\r\nand founder";
  VCardContext context;
  const auto card = RoundTrip(item, context);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(ValuesOf(*card, PROPERTY_FN), (std::vector<std::string>{"O'Brien \\ Sons"}));
  EXPECT_EQ(ValuesOf(*card, PROPERTY_N), (std::vector<std::string>{"Doe; Jr.", "", "", ""}));
  EXPECT_EQ(ValuesOf(*card, PROPERTY_ORG), (std::vector<std::string>{"Smith; Jones & Co", "R\\D"}));
  EXPECT_EQ(ValuesOf(*card, PROPERTY_ADR),
            (std::vector<std::string>{"", "", "Building 7\nFloor 3\\n", "Zürich", "", "", ""}));
  EXPECT_EQ(ValuesOf(*card, PROPERTY_NOTE), (std::vector<std::string>{"Line one\nLine two; with = and \\n literally\n"}));
  EXPECT_EQ(ValuesOf(*card, PROPERTY_TITLE), (std::vector<std::string>{"CTO\nand founder"}));
  EXPECT_EQ(item.ToVCard().find("QUOTED-PRINTABLE"), std::string::npos) << "vCard 3.0 has no quoted-printable";
  EXPECT_EQ(item.ToVCard().find("CHARSET"), std::string::npos) << "vCard 3.0 has no CHARSET line";
}

TEST(ToVCardRoundTrip, NoRawLineBreakReachesTheText) {
  CDataItem item;
  item["PR_DISPLAY_NAME"] = "A\nB";
  item["PR_HOME_ADDRESS_STREET"] = "x\ry";
  item["PR_ZEP_ADDITIONAL_URLS_LIST"] = "http://a\n\t";
  item["PR_ZEP_ADDITIONAL_URLS_ATTR"] = "W\t";
  const std::string text = item.ToVCard();
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    ++count;
  }
  EXPECT_EQ(count, 7) << "BEGIN, VERSION, FN, N, ADR, URL, END: " << text;
}

// A card says nothing its record does not hold: no nickname taken from the name, no empty
// organization, title, address or web page lines.
TEST(ToVCardFields, PropertiesWithoutValuesAreLeftOut) {
  CDataItem item;
  item["PR_DISPLAY_NAME"] = "Ada";
  item["PR_NICKNAME"] = "";
  item["PR_COMPANY_NAME"] = "";
  item["PR_TITLE"] = "";
  item["PR_BUSINESS_HOME_PAGE"] = "";
  item["PR_HOME_ADDRESS_CITY"] = "";
  EXPECT_EQ(item.ToVCard(), "BEGIN:VCARD\nVERSION:3.0\nFN:Ada\nN:;;;\nEND:VCARD\n");
  item["PR_DEPARTMENT_NAME"] = "Labs";
  EXPECT_NE(item.ToVCard().find("\nORG:;Labs\n"), std::string::npos) << item.ToVCard();
}

TEST(ToVCardKinds, OnlyGroupsWriteMemberUids) {
  CDataItem contact(ITEM_CONTACT);
  contact.members = {"m1"};
  EXPECT_EQ(contact.ToVCard().find("UID"), std::string::npos);
  CDataItem other(7);
  other.members = {"m1"};
  EXPECT_EQ(other.ToText(), contact.ToVCard()) << "an unknown kind is written as a contact";
}

}  // namespace
