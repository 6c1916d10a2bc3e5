// Contact and group records from cards.
#include "pim/ContactRecordBuilder.h"

#include "pim/PVCard.h"

bool ContactRecordBuilder::Build(const PVCard& card) {
  for (const PVCardProperty& property : card.Properties()) Add(property);
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
      AddPhone(property);
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
  const auto& keys = property.HasFlag(PROPERTY_WORK) ? kWork : kHome;
  for (size_t i = 0; i < 6; ++i) {
    if (keys[i] != nullptr) Set(keys[i], property.ValueText(i + 1));
  }
}

void ContactRecordBuilder::AddEmail(const PVCardProperty& property) {
  std::pair<std::string, std::string> entry{property.HasFlag(PROPERTY_WORK) ? "W:" : "H:", property.ValueText(0)};
  if (property.HasFlag(PROPERTY_PREFERRED)) {
    mEmails.insert(mEmails.begin(), std::move(entry));
  } else {
    mEmails.push_back(std::move(entry));
  }
}

void ContactRecordBuilder::AddPhone(const PVCardProperty& property) {
  const std::string number = property.ValueText(0);
  const bool work = property.HasFlag(PROPERTY_WORK), home = property.HasFlag(PROPERTY_HOME);
  const bool voice = property.HasFlag(PROPERTY_VOICE) || property.HasFlag(PROPERTY_PREFERRED);
  if (property.HasFlag(PROPERTY_CELL)) return Set("PR_MOBILE_TELEPHONE_NUMBER", number);
  if (property.HasFlag(PROPERTY_FAX) && home && SetIfFree("PR_HOME_FAX_NUMBER", number)) return;
  if (property.HasFlag(PROPERTY_FAX) && work && SetIfFree("PR_BUSINESS_FAX_NUMBER", number)) return;
  if (voice && work && (SetIfFree("PR_BUSINESS_TELEPHONE_NUMBER", number) || SetIfFree("PR_BUSINESS2_TELEPHONE_NUMBER", number))) return;
  if (voice && home && (SetIfFree("PR_HOME_TELEPHONE_NUMBER", number) || SetIfFree("PR_HOME2_TELEPHONE_NUMBER", number))) return;
  std::string attributes = work ? "W" : "H";
  attributes += property.HasFlag(PROPERTY_PAGER) ? "P" : property.HasFlag(PROPERTY_FAX) ? "F" : property.HasFlag(PROPERTY_CELL) ? "C" : "T";
  attributes += property.HasFlag(PROPERTY_PREFERRED) ? "P" : "N";
  mRecord["PR_ZEP_ADDITIONAL_PHONES_LIST"] += number + "\t";
  mRecord["PR_ZEP_ADDITIONAL_PHONES_ATTR"] += attributes + "\t";
}

void ContactRecordBuilder::AddUrl(const PVCardProperty& property) {
  const std::string url = property.ValueText(0);
  const bool work = property.HasFlag(PROPERTY_WORK);
  if (work && SetIfFree("PR_BUSINESS_HOME_PAGE", url)) return;
  if (property.HasFlag(PROPERTY_HOME) && SetIfFree("PR_PERSONAL_HOME_PAGE", url)) return;
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
