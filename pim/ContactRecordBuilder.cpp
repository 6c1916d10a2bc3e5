// Contact and group records from cards.
#include "pim/ContactRecordBuilder.h"

#include <span>

#include "pim/PVCard.h"

namespace {

char PhoneKindLetter(const PVCardProperty& tel) {
  if (tel.HasFlag(PROPERTY_PAGER)) return 'P';
  if (tel.HasFlag(PROPERTY_FAX)) return 'F';
  if (tel.HasFlag(PROPERTY_CELL)) return 'C';
  if (tel.HasFlag(PROPERTY_CAR)) return 'A';
  return 'T';
}

}  // namespace

std::string PhoneClass(const PVCardProperty& tel) {
  return std::string(1, tel.HasFlag(PROPERTY_WORK) ? 'W' : 'H') + PhoneKindLetter(tel);
}

bool ContactRecordBuilder::Build(const PVCard& card) {
  for (const PVCardProperty& property : card.Properties()) Add(property);
  // The preferred number is placed first, so that it gets the field of its class.
  for (const bool preferred : {true, false}) {
    for (const PVCardProperty* tel : mPhones) {
      if (tel->HasFlag(PROPERTY_PREFERRED) == preferred) PlacePhone(*tel);
    }
  }
  bool nameCompleted = false;
  if (!mHasName && !Value("PR_NICKNAME").empty()) {
    mRecord["PR_DISPLAY_NAME"] = Value("PR_NICKNAME");
    nameCompleted = true;
  }
  // At most three addresses have fields of their own; the typed list keeps them all.
  std::string addresses, types;
  for (size_t i = 0; i < mEmails.size(); ++i) {
    if (i < 3) addresses += mEmails[i].second + "\t";
    types += mEmails[i].first + mEmails[i].second + "\t";
  }
  if (!mEmails.empty()) {
    mRecord["PR_CONTACT_EMAIL_ADDRESSES"] = addresses;
    mRecord["PR_ZEP_EMAIL_ADDRESSES_TYPES"] = types;
  }
  return nameCompleted;
}

void ContactRecordBuilder::Add(const PVCardProperty& property) {
  const auto text = [&](size_t index) { return property.ValueText(index); };
  const size_t count = property.Values().size();
  switch (property.Type()) {
    case PROPERTY_N: {
      static const char* const kKeys[] = {"PR_SURNAME", "PR_GIVEN_NAME", "PR_MIDDLE_NAME", "PR_DISPLAY_NAME_PREFIX"};
      for (size_t i = 0; i < 4 && i < count; ++i) Set(kKeys[i], text(i));
      break;
    }
    case PROPERTY_FN:
      if (!text(0).empty()) {
        Set("PR_DISPLAY_NAME", text(0));
        mHasName = true;
      }
      break;
    case PROPERTY_NICKNAME:
      Set("PR_NICKNAME", text(0));
      break;
    case PROPERTY_ADR:
      if (count == 7) AddAddress(property);
      break;
    case PROPERTY_EMAIL:
      AddEmail(property);
      break;
    case PROPERTY_TEL:
      if (!text(0).empty()) mPhones.push_back(&property);
      break;
    case PROPERTY_URL:
      AddUrl(property);
      break;
    case PROPERTY_NOTE:
      Set("PR_COMMENT", text(0));
      break;
    case PROPERTY_TITLE:
      Set("PR_TITLE", text(0));
      break;
    case PROPERTY_ORG:
      Set("PR_COMPANY_NAME", text(0));
      if (count > 1) Set("PR_DEPARTMENT_NAME", text(1));
      break;
    default:
      break;
  }
}

void ContactRecordBuilder::AddAddress(const PVCardProperty& property) {
  static const char* const kWork[] = {"PR_OFFICE_LOCATION", "PR_STREET_ADDRESS", "PR_LOCALITY", "PR_STATE_OR_PROVINCE",
                                      "PR_POSTAL_CODE", "PR_COUNTRY"};
  static const char* const kHome[] = {nullptr, "PR_HOME_ADDRESS_STREET", "PR_HOME_ADDRESS_CITY",
                                      "PR_HOME_ADDRESS_STATE_OR_PROVINCE", "PR_HOME_ADDRESS_POSTAL_CODE",
                                      "PR_HOME_ADDRESS_COUNTRY"};
  const bool work = property.HasFlag(PROPERTY_WORK);
  const bool home = !work && property.HasFlag(PROPERTY_HOME);
  // The first address of a type keeps its keys; one of another type (OTHER, POSTAL, none) takes
  // the home keys only while no HOME address holds them.
  if (work ? mWorkTaken : home ? mHomeTaken && !mHomeFromOther : mHomeTaken) return;
  if (work) {
    mWorkTaken = true;
  } else {
    mHomeFromOther = !home;
    mHomeTaken = true;
  }
  const auto& keys = work ? kWork : kHome;
  for (size_t i = 0; i < 6; ++i) {
    if (keys[i] != nullptr) Set(keys[i], property.ValueText(i + 1));
  }
}

void ContactRecordBuilder::AddEmail(const PVCardProperty& property) {
  std::pair<std::string, std::string> entry{property.HasFlag(PROPERTY_WORK) ? "W:" : "H:", property.ValueText(0)};
  if (entry.second.empty()) return;
  if (property.HasFlag(PROPERTY_PREFERRED)) {
    mEmails.insert(mEmails.begin(), std::move(entry));
  } else {
    mEmails.push_back(std::move(entry));
  }
}

// A fixed field of a number class: its key and the name the preferred-phone reference gives it
// (the mobile number by its older name, which the vCard writer reads).
struct PhoneField {
  const char* key;
  const char* reference;
};

void ContactRecordBuilder::PlacePhone(const PVCardProperty& tel) {
  static constexpr PhoneField kBusiness[] = {{"PR_BUSINESS_TELEPHONE_NUMBER", "PR_BUSINESS_TELEPHONE_NUMBER"},
                                             {"PR_BUSINESS2_TELEPHONE_NUMBER", nullptr}};
  static constexpr PhoneField kHome[] = {{"PR_HOME_TELEPHONE_NUMBER", "PR_HOME_TELEPHONE_NUMBER"},
                                         {"PR_HOME2_TELEPHONE_NUMBER", nullptr}};
  static constexpr PhoneField kMobile[] = {{"PR_MOBILE_TELEPHONE_NUMBER", "PR_CELLULAR_TELEPHONE_NUMBER"}};
  static constexpr PhoneField kHomeFax[] = {{"PR_HOME_FAX_NUMBER", "PR_HOME_FAX_NUMBER"}};
  static constexpr PhoneField kBusinessFax[] = {{"PR_BUSINESS_FAX_NUMBER", "PR_BUSINESS_FAX_NUMBER"}};
  static constexpr PhoneField kPager[] = {{"PR_PAGER_TELEPHONE_NUMBER", "PR_PAGER_TELEPHONE_NUMBER"}};
  const std::string number = tel.ValueText(0);
  const bool home = tel.HasFlag(PROPERTY_HOME);
  const std::string numberClass = PhoneClass(tel);
  std::span<const PhoneField> fields;
  if (numberClass == "WT") fields = kBusiness;
  // A voice number needs a location to have a field: typed HOME (or only VOICE with HOME).
  if (numberClass == "HT" && home) fields = kHome;
  if (numberClass == "HC") fields = kMobile;
  if (numberClass == "HF" && home) fields = kHomeFax;
  if (numberClass == "WF") fields = kBusinessFax;
  if (numberClass == "WP" && mFields.pager) fields = kPager;
  for (const PhoneField& field : fields) {
    if (!SetIfFree(field.key, number)) continue;
    if (tel.HasFlag(PROPERTY_PREFERRED) && field.reference != nullptr && Value("PR_ZEP_PREF_PHONE_INDEX").empty()) {
      Set("PR_ZEP_PREF_PHONE_INDEX", field.reference);
    }
    return;
  }
  mRecord["PR_ZEP_ADDITIONAL_PHONES_LIST"] += number + "\t";
  mRecord["PR_ZEP_ADDITIONAL_PHONES_ATTR"] += numberClass + (tel.HasFlag(PROPERTY_PREFERRED) ? "P" : "N") + "\t";
}

void ContactRecordBuilder::AddUrl(const PVCardProperty& property) {
  const std::string url = property.ValueText(0);
  if (url.empty()) return;
  const bool work = property.HasFlag(PROPERTY_WORK);
  if (work && SetIfFree("PR_BUSINESS_HOME_PAGE", url)) return;
  if (!work && SetIfFree("PR_PERSONAL_HOME_PAGE", url)) return;
  mRecord["PR_ZEP_ADDITIONAL_URLS_LIST"] += url + "\t";
  mRecord["PR_ZEP_ADDITIONAL_URLS_ATTR"] += std::string(work ? "W" : "H") + "\t";
}

bool ContactRecordBuilder::SetIfFree(const char* key, const std::string& value) {
  if (!Value(key).empty()) return false;
  Set(key, value);
  return true;
}

GroupCard GroupCard::Read(const PVCard& card) {
  GroupCard group;
  for (const PVCardProperty& property : card.Properties()) {
    const std::string value = property.ValueText(0);
    if (property.Type() == PROPERTY_FN && !value.empty()) group.displayName = value;
    if (property.Type() == PROPERTY_NOTE) group.comment = value;
    if (property.Type() == PROPERTY_UID && !value.empty()) group.members.push_back(value);
  }
  return group;
}

std::string GroupCard::ServerIdOf(const std::string& member) {
  if (std::string_view(member).substr(0, kServerReference.size()) != kServerReference) return {};
  return member.substr(kServerReference.size());
}
