// Building a contact's property values from a parsed vCard, field rule by field rule.
#include "stores/wab/ContactProperties.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "pim/MapiPropertyName.h"
#include "pim/PVCard.h"

namespace {

constexpr std::size_t kAddressComponents = 7;

bool IsListName(std::string_view name) {
  return name == "PR_CONTACT_EMAIL_ADDRESSES" || name == "PR_CONTACT_ADDRTYPES" || name == "PR_ZEP_EMAIL_ADDRESSES_TYPES" ||
         name == "PR_ZEP_ADDITIONAL_PHONES_LIST" || name == "PR_ZEP_ADDITIONAL_PHONES_ATTR";
}

// A fixed telephone field: its property and the name its preferred-phone reference uses (the
// mobile number is referred to by its older name, which the vCard writer reads).
struct PhoneField {
  const char* key;
  const char* reference;
};

constexpr PhoneField kPager{"PR_PAGER_TELEPHONE_NUMBER", "PR_PAGER_TELEPHONE_NUMBER"};
constexpr PhoneField kBusinessFax{"PR_BUSINESS_FAX_NUMBER", "PR_BUSINESS_FAX_NUMBER"};
constexpr PhoneField kBusiness{"PR_BUSINESS_TELEPHONE_NUMBER", "PR_BUSINESS_TELEPHONE_NUMBER"};
constexpr PhoneField kBusiness2{"PR_BUSINESS2_TELEPHONE_NUMBER", "PR_BUSINESS2_TELEPHONE_NUMBER"};
constexpr PhoneField kMobile{"PR_MOBILE_TELEPHONE_NUMBER", "PR_CELLULAR_TELEPHONE_NUMBER"};
constexpr PhoneField kHomeFax{"PR_HOME_FAX_NUMBER", "PR_HOME_FAX_NUMBER"};
constexpr PhoneField kHome{"PR_HOME_TELEPHONE_NUMBER", "PR_HOME_TELEPHONE_NUMBER"};
constexpr PhoneField kHome2{"PR_HOME2_TELEPHONE_NUMBER", "PR_HOME2_TELEPHONE_NUMBER"};

// The fields a number of a two-letter attribute (location W or H, kind P, F, C or T) may take,
// in the order they are tried. Attributes without a field (a work cell phone, a home pager)
// always go to the additional lists.
std::vector<const PhoneField*> FieldsOf(std::string_view attribute) {
  if (attribute == "WP") return {&kPager};
  if (attribute == "WF") return {&kBusinessFax};
  if (attribute == "WT") return {&kBusiness, &kBusiness2};
  if (attribute == "HC") return {&kMobile};
  if (attribute == "HF") return {&kHomeFax};
  if (attribute == "HT") return {&kHome, &kHome2};
  return {};
}

std::string PhoneAttribute(const PVCardProperty& tel) {
  std::string attribute = tel.HasFlag(PROPERTY_WORK) ? "W" : "H";
  if (tel.HasFlag(PROPERTY_PAGER)) {
    attribute += "P";
  } else if (tel.HasFlag(PROPERTY_FAX)) {
    attribute += "F";
  } else if (tel.HasFlag(PROPERTY_CELL)) {
    attribute += "C";
  } else {
    attribute += "T";
  }
  return attribute;
}

struct Phone {
  std::string number;
  std::string attribute;
};

// Places the card's telephone numbers into the fixed fields and the additional lists.
class PhonePlacement {
 public:
  void Collect(const PVCardProperty& tel) {
    std::string number = tel.ValueText(0);
    if (number.empty()) return;
    if (!mPreferred && tel.HasFlag(PROPERTY_PREFERRED)) mPreferred = mPhones.size();
    mPhones.push_back({std::move(number), PhoneAttribute(tel)});
  }

  void WriteInto(ContactProperties& properties) {
    if (mPhones.empty()) return;
    std::string reference;
    if (mPreferred) {
      const Phone& preferred = mPhones[*mPreferred];
      const std::vector<const PhoneField*> fields = FieldsOf(preferred.attribute);
      if (fields.empty()) {
        // Marked preferred in its code, since no field can say so.
        mExtraNumbers.push_back(preferred.number);
        mExtraAttributes.push_back(preferred.attribute + "P");
      } else {
        Take(*fields.front(), preferred.number);
        reference = fields.front()->reference;
      }
    }
    for (std::size_t i = mPhones.size(); i-- > 0;) {
      if (mPreferred && i == *mPreferred) continue;
      Place(mPhones[i]);
    }
    for (const auto& [field, number] : mTaken) properties.SetText(ContactTag(field->key), number);
    if (!mExtraNumbers.empty()) {
      properties.SetTexts(PR_ZEP_ADDITIONAL_PHONES_LIST, mExtraNumbers);
      properties.SetTexts(PR_ZEP_ADDITIONAL_PHONES_ATTR, mExtraAttributes);
    }
    if (!reference.empty()) properties.SetText(PR_ZEP_PREF_PHONE_INDEX, reference);
  }

 private:
  bool IsFree(const PhoneField& field) const {
    return std::none_of(mTaken.begin(), mTaken.end(), [&](const auto& taken) { return taken.first == &field; });
  }
  void Take(const PhoneField& field, const std::string& number) { mTaken.emplace_back(&field, number); }

  void Place(const Phone& phone) {
    for (const PhoneField* field : FieldsOf(phone.attribute)) {
      if (IsFree(*field)) {
        Take(*field, phone.number);
        return;
      }
    }
    mExtraNumbers.push_back(phone.number);
    mExtraAttributes.push_back(phone.attribute);
  }

  std::vector<Phone> mPhones;
  std::optional<std::size_t> mPreferred;
  std::vector<std::pair<const PhoneField*, std::string>> mTaken;
  std::vector<std::string> mExtraNumbers;
  std::vector<std::string> mExtraAttributes;
};

// The card's e-mail addresses: preferred ones at the front, each with its "W:" or "H:" type.
class EmailCollection {
 public:
  void Collect(const PVCardProperty& email) {
    std::string address = email.ValueText(0);
    if (address.empty()) return;
    Typed typed{email.HasFlag(PROPERTY_WORK) ? "W:" : "H:", std::move(address)};
    if (email.HasFlag(PROPERTY_PREFERRED)) {
      mAddresses.insert(mAddresses.begin(), std::move(typed));
    } else {
      mAddresses.push_back(std::move(typed));
    }
  }

  void WriteInto(ContactProperties& properties) const {
    if (mAddresses.empty()) return;
    std::vector<std::string> addresses, kinds, typed;
    for (const auto& [type, address] : mAddresses) {
      addresses.push_back(address);
      kinds.emplace_back("SMTP");
      typed.push_back(type + address);
    }
    properties.SetTexts(ContactTag("PR_CONTACT_EMAIL_ADDRESSES"), addresses);
    properties.SetTexts(ContactTag("PR_CONTACT_ADDRTYPES"), kinds);
    properties.SetTexts(PR_ZEP_EMAIL_ADDRESSES_TYPES, typed);
    // The book's own default address, so that other programs and the vCard writer agree on it.
    properties.SetText(ContactTag("PR_EMAIL_ADDRESS"), addresses.front());
  }

 private:
  using Typed = std::pair<std::string, std::string>;
  std::vector<Typed> mAddresses;
};

class ContactCardReader {
 public:
  explicit ContactCardReader(ContactProperties& properties) : mProperties(properties) {}

  void Read(const PVCard& card) {
    for (const PVCardProperty& property : card.Properties()) Add(property);
    mEmails.WriteInto(mProperties);
    mPhones.WriteInto(mProperties);
  }

 private:
  void Set(const char* key, const PVCardProperty& property, std::size_t component) {
    std::string text = property.ValueText(component);
    if (!text.empty()) mProperties.SetText(ContactTag(key), std::move(text));
  }

  void Add(const PVCardProperty& property) {
    switch (property.Type()) {
      case PROPERTY_N:
        SetComponents(property, {"PR_SURNAME", "PR_GIVEN_NAME", "PR_MIDDLE_NAME", "PR_DISPLAY_NAME_PREFIX"}, 0);
        break;
      case PROPERTY_FN:
        Set("PR_DISPLAY_NAME", property, 0);
        break;
      case PROPERTY_NICKNAME:
        Set("PR_NICKNAME", property, 0);
        break;
      case PROPERTY_ADR:
        AddAddress(property);
        break;
      case PROPERTY_EMAIL:
        mEmails.Collect(property);
        break;
      case PROPERTY_TEL:
        mPhones.Collect(property);
        break;
      case PROPERTY_URL:
        Set(property.HasFlag(PROPERTY_WORK) ? "PR_BUSINESS_HOME_PAGE" : "PR_PERSONAL_HOME_PAGE", property, 0);
        break;
      case PROPERTY_NOTE:
        Set("PR_COMMENT", property, 0);
        break;
      case PROPERTY_TITLE:
        Set("PR_TITLE", property, 0);
        break;
      case PROPERTY_ORG:
        SetComponents(property, {"PR_COMPANY_NAME", "PR_DEPARTMENT_NAME"}, 0);
        break;
      default:
        break;
    }
  }

  void SetComponents(const PVCardProperty& property, std::initializer_list<const char*> keys, std::size_t first) {
    std::size_t component = first;
    for (const char* key : keys) {
      if (component >= property.Values().size()) return;
      Set(key, property, component++);
    }
  }

  void AddAddress(const PVCardProperty& adr) {
    if (adr.Values().size() != kAddressComponents) return;
    if (adr.HasFlag(PROPERTY_WORK)) {
      SetComponents(adr, {"PR_OFFICE_LOCATION", "PR_STREET_ADDRESS", "PR_LOCALITY", "PR_STATE_OR_PROVINCE", "PR_POSTAL_CODE",
                          "PR_COUNTRY"},
                    1);
    } else {
      SetComponents(adr, {"PR_HOME_ADDRESS_STREET", "PR_HOME_ADDRESS_CITY", "PR_HOME_ADDRESS_STATE_OR_PROVINCE",
                          "PR_HOME_ADDRESS_POSTAL_CODE", "PR_HOME_ADDRESS_COUNTRY"},
                    2);
    }
  }

  ContactProperties& mProperties;
  EmailCollection mEmails;
  PhonePlacement mPhones;
};

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
                      PR_ZEP_PREF_PHONE_INDEX}) {
      list.push_back(own);
    }
    return list;
  }();
  return tags;
}

ContactProperties BuildContactProperties(const PVCard& card, const std::string& identifier) {
  ContactProperties properties;
  properties.SetText(PR_ZEP_ENTRYID, identifier);
  ContactCardReader(properties).Read(card);
  return properties;
}
