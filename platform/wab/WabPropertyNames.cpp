// The name table of the address book properties the adapter reads and writes, and its look-ups.
#include "platform/wab/WabPropertyNames.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct NamedTag {
  const char* name;
  ULONG tag;
};

constexpr ULONG Text(ULONG id) { return PROP_TAG(PT_UNICODE, id); }
constexpr ULONG Texts(ULONG id) { return PROP_TAG(PT_MV_UNICODE, id); }

constexpr NamedTag kNames[] = {
    {"PR_ENTRYID", PR_ENTRYID},
    {"PR_OBJECT_TYPE", PR_OBJECT_TYPE},
    {"PR_DISPLAY_NAME", PR_DISPLAY_NAME},
    {"PR_ADDRTYPE", Text(0x3002)},
    {"PR_EMAIL_ADDRESS", Text(0x3003)},
    {"PR_COMMENT", Text(0x3004)},
    {"PR_CREATION_TIME", PR_CREATION_TIME},
    {"PR_LAST_MODIFICATION_TIME", PR_LAST_MODIFICATION_TIME},
    {"PR_DEF_CREATE_DL", PR_DEF_CREATE_DL},
    {"PR_DEF_CREATE_MAILUSER", PR_DEF_CREATE_MAILUSER},
    {"PR_GIVEN_NAME", Text(0x3A06)},
    {"PR_BUSINESS_TELEPHONE_NUMBER", Text(0x3A08)},
    {"PR_HOME_TELEPHONE_NUMBER", Text(0x3A09)},
    {"PR_SURNAME", Text(0x3A11)},
    {"PR_COMPANY_NAME", Text(0x3A16)},
    {"PR_TITLE", Text(0x3A17)},
    {"PR_DEPARTMENT_NAME", Text(0x3A18)},
    {"PR_OFFICE_LOCATION", Text(0x3A19)},
    {"PR_PRIMARY_TELEPHONE_NUMBER", Text(0x3A1A)},
    {"PR_BUSINESS2_TELEPHONE_NUMBER", Text(0x3A1B)},
    {"PR_MOBILE_TELEPHONE_NUMBER", Text(0x3A1C)},
    {"PR_PAGER_TELEPHONE_NUMBER", Text(0x3A21)},
    {"PR_BUSINESS_FAX_NUMBER", Text(0x3A24)},
    {"PR_HOME_FAX_NUMBER", Text(0x3A25)},
    {"PR_COUNTRY", Text(0x3A26)},
    {"PR_LOCALITY", Text(0x3A27)},
    {"PR_STATE_OR_PROVINCE", Text(0x3A28)},
    {"PR_STREET_ADDRESS", Text(0x3A29)},
    {"PR_POSTAL_CODE", Text(0x3A2A)},
    {"PR_HOME2_TELEPHONE_NUMBER", Text(0x3A2F)},
    {"PR_MIDDLE_NAME", Text(0x3A44)},
    {"PR_DISPLAY_NAME_PREFIX", Text(0x3A45)},
    {"PR_NICKNAME", Text(0x3A4F)},
    {"PR_PERSONAL_HOME_PAGE", Text(0x3A50)},
    {"PR_BUSINESS_HOME_PAGE", Text(0x3A51)},
    {"PR_CONTACT_ADDRTYPES", Texts(0x3A54)},
    {"PR_CONTACT_DEFAULT_ADDRESS_INDEX", PROP_TAG(PT_LONG, 0x3A55)},
    {"PR_CONTACT_EMAIL_ADDRESSES", Texts(0x3A56)},
    {"PR_HOME_ADDRESS_CITY", Text(0x3A59)},
    {"PR_HOME_ADDRESS_COUNTRY", Text(0x3A5A)},
    {"PR_HOME_ADDRESS_POSTAL_CODE", Text(0x3A5B)},
    {"PR_HOME_ADDRESS_STATE_OR_PROVINCE", Text(0x3A5C)},
    {"PR_HOME_ADDRESS_STREET", Text(0x3A5D)},
    {"PR_ZEP_EMAIL_ADDRESSES_TYPES", PR_ZEP_EMAIL_ADDRESSES_TYPES},
    {"PR_ZEP_ADDITIONAL_PHONES_LIST", PR_ZEP_ADDITIONAL_PHONES_LIST},
    {"PR_ZEP_ADDITIONAL_PHONES_ATTR", PR_ZEP_ADDITIONAL_PHONES_ATTR},
    {"PR_ZEP_PREF_PHONE_INDEX", PR_ZEP_PREF_PHONE_INDEX},
    {"PR_ZEP_ENTRYID", PR_ZEP_ENTRYID},
    {"PR_ZEP_ADDITIONAL_URLS_LIST", PR_ZEP_ADDITIONAL_URLS_LIST},
    {"PR_ZEP_ADDITIONAL_URLS_ATTR", PR_ZEP_ADDITIONAL_URLS_ATTR},
};

std::optional<ULONG> ParseHexTag(std::string_view text) {
  if (text.size() != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  ULONG tag = 0;
  for (char c : text.substr(2)) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    tag = (tag << 4) | static_cast<ULONG>(digit);
  }
  return tag;
}

}  // namespace

std::optional<ULONG> WabTagOfName(std::string_view name) {
  for (const NamedTag& entry : kNames) {
    if (name == entry.name) return entry.tag;
  }
  return ParseHexTag(name);
}

std::string WabNameOfTag(ULONG tag) {
  for (const NamedTag& entry : kNames) {
    if (entry.tag == tag) return entry.name;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", tag);
  return hex;
}
