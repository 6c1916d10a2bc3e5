// Names of MAPI property tags: the published property list plus the program's own contact properties.
#pragma once

#include <cstdint>
#include <string>

// The program's own property identifiers (named properties registered in the address book).
enum OwnMapiPropertyId : std::uint16_t {
  PROP_ID_ZEP_EMAIL_ADDRESSES_TYPES = 0x9000,
  PROP_ID_ZEP_ADDITIONAL_PHONES_LIST = 0x9001,
  PROP_ID_ZEP_ADDITIONAL_PHONES_ATTR = 0x9002,
  PROP_ID_ZEP_PREF_PHONE_INDEX = 0x9003,
  PROP_ID_ZEP_ENTRYID = 0x9004,
  PROP_ID_ZEP_ADDITIONAL_URLS_LIST = 0x9005,
  PROP_ID_ZEP_ADDITIONAL_URLS_ATTR = 0x9006,
};

// The name of a property tag, looked up by its identifier (the high 16 bits; the type in the low
// 16 bits is ignored): "PR_DISPLAY_NAME" for 0x3001001F and 0x3001001E alike. An identifier
// without a name gives "0x" and the identifier in lower-case hexadecimal ("0x6600"); the address
// book's group member list (0x6600) is recognised by that name, so it is deliberately unnamed.
std::string MapiPropertyName(std::uint32_t tag);

// The identifier a name stands for, or 0 when the name is not in the table.
std::uint16_t MapiPropertyId(const std::string& name);
