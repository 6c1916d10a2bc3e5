// Readers of the list-valued keys of a contact record: tab lists, the typed e-mail address list
// and the parallel lists of additional phone numbers and web addresses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CDataItem;

// The elements of a tab list: each element is followed by a TAB; text after the last TAB is no
// element.
std::vector<std::string> SplitTabList(std::string_view list);

struct TypedAddress {
  bool work = false;  // type letter "W"; any other letter is home
  std::string address;
};

// Elements "W:address" or "H:address" of `list`; elements of two characters or fewer are skipped.
// A last element without its TAB is read too, so no address is lost.
std::vector<TypedAddress> ReadTypedAddressList(std::string_view list);
// The list under PR_ZEP_EMAIL_ADDRESSES_TYPES.
std::vector<TypedAddress> ReadTypedAddressList(const CDataItem& item);

enum class PhoneKind { Voice, Cell, Fax, Pager, Car };

struct AdditionalPhone {
  std::string number;
  bool work = false;       // first code letter "W"
  PhoneKind kind = PhoneKind::Voice;  // second letter "C", "F", "P", "A" (car); anything else is voice
  bool preferred = false;  // third letter "P"
};

// Pairs of a number and its code, taken while both lists still have an element; pairs with an
// empty number are skipped.
std::vector<AdditionalPhone> ReadAdditionalPhones(std::string_view numbers, std::string_view codes);
// The lists under PR_ZEP_ADDITIONAL_PHONES_LIST and PR_ZEP_ADDITIONAL_PHONES_ATTR.
std::vector<AdditionalPhone> ReadAdditionalPhones(const CDataItem& item);

struct AdditionalUrl {
  std::string address;
  bool work = false;  // first code letter "W"
};

// Pairs of an address and its code, as for phones; only the code's first letter is read.
std::vector<AdditionalUrl> ReadAdditionalUrls(std::string_view addresses, std::string_view codes);
// The lists under PR_ZEP_ADDITIONAL_URLS_LIST and PR_ZEP_ADDITIONAL_URLS_ATTR.
std::vector<AdditionalUrl> ReadAdditionalUrls(const CDataItem& item);
