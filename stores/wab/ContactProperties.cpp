// A contact's property values: the record the contact mapping reads from a card, as address book properties.
#include "stores/wab/ContactProperties.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "pim/CDataItem.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/ItemLists.h"
#include "pim/MapiPropertyName.h"

namespace {

// Keys of the record whose values are tab lists, written as string arrays.
constexpr const char* kListKeys[] = {
    "PR_CONTACT_EMAIL_ADDRESSES",    "PR_CONTACT_ADDRTYPES",          "PR_ZEP_EMAIL_ADDRESSES_TYPES",
    "PR_ZEP_ADDITIONAL_PHONES_LIST", "PR_ZEP_ADDITIONAL_PHONES_ATTR", "PR_ZEP_ADDITIONAL_URLS_LIST",
    "PR_ZEP_ADDITIONAL_URLS_ATTR",
};

bool IsListName(std::string_view name) {
  return std::find(std::begin(kListKeys), std::end(kListKeys), name) != std::end(kListKeys);
}

// The address book keeps every address in its own list, each of type SMTP, and the first as its
// default address, so that other programs and the vCard writer agree on it.
void SetEmailAddresses(const CDataItem& record, ContactProperties& properties) {
  std::vector<std::string> addresses, kinds;
  for (const TypedAddress& typed : ReadTypedAddressList(record)) {
    addresses.push_back(typed.address);
    kinds.emplace_back("SMTP");
  }
  if (addresses.empty()) return;
  properties.SetTexts(ContactTag("PR_CONTACT_EMAIL_ADDRESSES"), addresses);
  properties.SetTexts(ContactTag("PR_CONTACT_ADDRTYPES"), kinds);
  properties.SetText(ContactTag("PR_EMAIL_ADDRESS"), addresses.front());
}

}  // namespace

ULONG ContactTag(const char* name) {
  const std::uint16_t id = MapiPropertyId(name);
  if (id == 0) return 0;
  return PROP_TAG(IsListName(name) ? PT_MV_UNICODE : PT_UNICODE, id);
}

void ContactProperties::SetText(ULONG tag, std::string text) { SetTexts(tag, {std::move(text)}); }

void ContactProperties::SetTexts(ULONG tag, std::vector<std::string> texts) {
  for (ContactValue& value : mValues) {
    if (value.tag == tag) {
      value.texts = std::move(texts);
      return;
    }
  }
  mValues.push_back({tag, std::move(texts)});
}

const ContactValue* ContactProperties::Find(ULONG tag) const {
  for (const ContactValue& value : mValues) {
    if (value.tag == tag) return &value;
  }
  return nullptr;
}

const std::vector<ULONG>& WrittenContactTags() {
  static const std::vector<ULONG> tags = [] {
    std::vector<ULONG> list;
    for (const char* name :
         {"PR_DISPLAY_NAME", "PR_NICKNAME", "PR_SURNAME", "PR_GIVEN_NAME", "PR_MIDDLE_NAME", "PR_DISPLAY_NAME_PREFIX",
          "PR_COMPANY_NAME", "PR_DEPARTMENT_NAME", "PR_TITLE", "PR_COMMENT", "PR_PERSONAL_HOME_PAGE", "PR_BUSINESS_HOME_PAGE",
          "PR_OFFICE_LOCATION", "PR_STREET_ADDRESS", "PR_LOCALITY", "PR_STATE_OR_PROVINCE", "PR_POSTAL_CODE", "PR_COUNTRY",
          "PR_HOME_ADDRESS_STREET", "PR_HOME_ADDRESS_CITY", "PR_HOME_ADDRESS_STATE_OR_PROVINCE", "PR_HOME_ADDRESS_POSTAL_CODE",
          "PR_HOME_ADDRESS_COUNTRY", "PR_CONTACT_EMAIL_ADDRESSES", "PR_CONTACT_ADDRTYPES", "PR_EMAIL_ADDRESS",
          "PR_PAGER_TELEPHONE_NUMBER", "PR_BUSINESS_TELEPHONE_NUMBER", "PR_BUSINESS2_TELEPHONE_NUMBER", "PR_BUSINESS_FAX_NUMBER",
          "PR_MOBILE_TELEPHONE_NUMBER", "PR_HOME_TELEPHONE_NUMBER", "PR_HOME2_TELEPHONE_NUMBER", "PR_HOME_FAX_NUMBER"}) {
      list.push_back(ContactTag(name));
    }
    for (ULONG own : {PR_ZEP_EMAIL_ADDRESSES_TYPES, PR_ZEP_ADDITIONAL_PHONES_LIST, PR_ZEP_ADDITIONAL_PHONES_ATTR,
                      PR_ZEP_PREF_PHONE_INDEX, PR_ZEP_ADDITIONAL_URLS_LIST, PR_ZEP_ADDITIONAL_URLS_ATTR}) {
      list.push_back(own);
    }
    return list;
  }();
  return tags;
}

ContactProperties BuildContactProperties(const PVCard& card, const std::string& identifier) {
  CDataItem record(ITEM_CONTACT);
  ContactRecordBuilder(record, ContactFields{.pager = true}).Build(card);
  ContactProperties properties;
  properties.SetText(PR_ZEP_ENTRYID, identifier);
  for (const auto& [key, value] : record.properties) {
    if (key == "PR_CONTACT_EMAIL_ADDRESSES") continue;  // the three of a contact folder; all below
    const ULONG tag = ContactTag(key.c_str());
    if (tag == 0 || value.empty()) continue;
    if (IsListName(key)) {
      properties.SetTexts(tag, SplitTabList(value));
    } else {
      properties.SetText(tag, value);
    }
  }
  SetEmailAddresses(record, properties);
  return properties;
}
