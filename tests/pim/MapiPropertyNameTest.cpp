// MAPI property names: look-up by identifier whatever the type, the program's own names, unknown tags.
#include <gtest/gtest.h>

#include "pim/MapiPropertyName.h"

TEST(MapiPropertyName, LooksUpByIdentifierIgnoringTheType) {
  EXPECT_EQ(MapiPropertyName(0x3001001F), "PR_DISPLAY_NAME");
  EXPECT_EQ(MapiPropertyName(0x3001001E), "PR_DISPLAY_NAME");
  EXPECT_EQ(MapiPropertyName(0x30010000), "PR_DISPLAY_NAME");
}

TEST(MapiPropertyName, NamesThePublishedTagsTheStoresUse) {
  const std::pair<std::uint32_t, const char*> known[] = {
      {0x00010003, "PR_ACKNOWLEDGEMENT_MODE"},     {0x001A001F, "PR_MESSAGE_CLASS"},
      {0x0FFF0102, "PR_ENTRYID"},                  {0x3003001F, "PR_EMAIL_ADDRESS"},
      {0x3004001F, "PR_COMMENT"},                  {0x30080040, "PR_LAST_MODIFICATION_TIME"},
      {0x3A06001F, "PR_GIVEN_NAME"},               {0x3A08001F, "PR_BUSINESS_TELEPHONE_NUMBER"},
      {0x3A11001F, "PR_SURNAME"},                  {0x3A1C001F, "PR_MOBILE_TELEPHONE_NUMBER"},
      {0x3A4F001F, "PR_NICKNAME"},                 {0x3A56101F, "PR_CONTACT_EMAIL_ADDRESSES"},
      {0x3A5D001F, "PR_HOME_ADDRESS_STREET"},      {0x3A21001F, "PR_PAGER_TELEPHONE_NUMBER"},
      {0x3A1B001F, "PR_BUSINESS2_TELEPHONE_NUMBER"}, {0x3A2F001F, "PR_HOME2_TELEPHONE_NUMBER"},
      {0x3A44001F, "PR_MIDDLE_NAME"},              {0x3A45001F, "PR_DISPLAY_NAME_PREFIX"},
      {0x3A16001F, "PR_COMPANY_NAME"},             {0x3A18001F, "PR_DEPARTMENT_NAME"},
      {0x3A17001F, "PR_TITLE"},                    {0x3A19001F, "PR_OFFICE_LOCATION"},
      {0x3A29001F, "PR_STREET_ADDRESS"},           {0x3A27001F, "PR_LOCALITY"},
      {0x3A28001F, "PR_STATE_OR_PROVINCE"},        {0x3A2A001F, "PR_POSTAL_CODE"},
      {0x3A26001F, "PR_COUNTRY"},                  {0x3A59001F, "PR_HOME_ADDRESS_CITY"},
      {0x3A5A001F, "PR_HOME_ADDRESS_COUNTRY"},     {0x3A5B001F, "PR_HOME_ADDRESS_POSTAL_CODE"},
      {0x3A5C001F, "PR_HOME_ADDRESS_STATE_OR_PROVINCE"}, {0x3A50001F, "PR_PERSONAL_HOME_PAGE"},
      {0x3A51001F, "PR_BUSINESS_HOME_PAGE"},       {0x3A24001F, "PR_BUSINESS_FAX_NUMBER"},
      {0x3A25001F, "PR_HOME_FAX_NUMBER"},          {0x3A09001F, "PR_HOME_TELEPHONE_NUMBER"},
      {0x3A54101F, "PR_CONTACT_ADDRTYPES"},        {0x0FFE0003, "PR_OBJECT_TYPE"},
      {0x3611000B, "PR_DEF_CREATE_DL"},            {0x3612000B, "PR_DEF_CREATE_MAILUSER"},
      {0x67530003, "PR_NOT_822_RENDERABLE"},       {0x6601001F, "PR_PROFILE_CONFIG_FLAGS"},
  };
  for (const auto& [tag, name] : known) EXPECT_EQ(MapiPropertyName(tag), name) << std::hex << tag;
}

TEST(MapiPropertyName, TheProgramsOwnProperties) {
  EXPECT_EQ(MapiPropertyName(0x9000101F), "PR_ZEP_EMAIL_ADDRESSES_TYPES");
  EXPECT_EQ(MapiPropertyName(0x9001101F), "PR_ZEP_ADDITIONAL_PHONES_LIST");
  EXPECT_EQ(MapiPropertyName(0x9002101F), "PR_ZEP_ADDITIONAL_PHONES_ATTR");
  EXPECT_EQ(MapiPropertyName(0x9003001F), "PR_ZEP_PREF_PHONE_INDEX");
  EXPECT_EQ(MapiPropertyName(0x9004001F), "PR_ZEP_ENTRYID");
  EXPECT_EQ(MapiPropertyName(0x9005101F), "PR_ZEP_ADDITIONAL_URLS_LIST");
  EXPECT_EQ(MapiPropertyName(0x9006101F), "PR_ZEP_ADDITIONAL_URLS_ATTR");
  EXPECT_EQ(MapiPropertyName(0x9007001F), "0x9007");
}

TEST(MapiPropertyName, UnknownIdentifiersGiveTheirHexadecimalForm) {
  EXPECT_EQ(MapiPropertyName(0x80001102), "0x8000");
  EXPECT_EQ(MapiPropertyName(0x00000003), "0x0");
  EXPECT_EQ(MapiPropertyName(0x0ABC001F), "0xabc");
  EXPECT_EQ(MapiPropertyName(0xFFFF0102), "0xffff");
  // The address book's group member list keeps its unnamed form: the store looks for "0x6600".
  EXPECT_EQ(MapiPropertyName(0x66001102), "0x6600");
  // Results are independent values: a later call does not change an earlier result.
  const std::string first = MapiPropertyName(0x7001001F);
  const std::string second = MapiPropertyName(0x7002001F);
  EXPECT_EQ(first, "0x7001");
  EXPECT_EQ(second, "0x7002");
}

TEST(MapiPropertyId, FindsTheIdentifierOfAName) {
  EXPECT_EQ(MapiPropertyId("PR_DISPLAY_NAME"), 0x3001);
  EXPECT_EQ(MapiPropertyId("PR_ZEP_ENTRYID"), 0x9004);
  EXPECT_EQ(MapiPropertyId("PR_NO_SUCH_NAME"), 0);
  EXPECT_EQ(MapiPropertyId("0x6600"), 0);
  // Every named identifier maps back to itself.
  for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
    const std::string name = MapiPropertyName(id << 16);
    if (name.rfind("PR_", 0) == 0) {
      EXPECT_EQ(MapiPropertyId(name), id) << name;
    }
  }
}
