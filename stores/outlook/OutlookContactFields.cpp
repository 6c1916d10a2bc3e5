// Contact record keys <-> ContactItem properties.
#include "stores/outlook/OutlookContactFields.h"

#include <cstdio>
#include <string>
#include <vector>

#include "pim/ItemLists.h"

namespace {

struct ContactField {
  const char* key;
  DispId id;
  bool fromCard;  // a card can fill it, so writing a card empties it when the card does not
};

// In the order the record is read; PR_CONTACT_EMAIL_ADDRESSES sits between PR_TITLE and
// PR_BUSINESS_HOME_PAGE (kEmailAfter).
constexpr ContactField kFields[] = {
    {"PR_DISPLAY_NAME", OutlookId::kFileAs, true},
    {"PR_NICKNAME", OutlookId::kNickName, true},
    {"PR_SURNAME", OutlookId::kLastName, true},
    {"PR_GIVEN_NAME", OutlookId::kFirstName, true},
    {"PR_MIDDLE_NAME", OutlookId::kMiddleName, true},
    {"PR_DISPLAY_NAME_PREFIX", OutlookId::kTitle, true},
    {"PR_COMPANY_NAME", OutlookId::kCompanyName, true},
    {"PR_DEPARTMENT_NAME", OutlookId::kDepartment, true},
    {"PR_TITLE", OutlookId::kJobTitle, true},
    {"PR_BUSINESS_HOME_PAGE", OutlookId::kBusinessHomePage, true},
    {"PR_OFFICE_LOCATION", OutlookId::kOfficeLocation, true},
    {"PR_STREET_ADDRESS", OutlookId::kBusinessAddressStreet, true},
    {"PR_LOCALITY", OutlookId::kBusinessAddressCity, true},
    {"PR_STATE_OR_PROVINCE", OutlookId::kBusinessAddressState, true},
    {"PR_POSTAL_CODE", OutlookId::kBusinessAddressPostalCode, true},
    {"PR_COUNTRY", OutlookId::kBusinessAddressCountry, true},
    {"PR_PERSONAL_HOME_PAGE", OutlookId::kPersonalHomePage, true},
    {"PR_HOME_ADDRESS_STREET", OutlookId::kHomeAddressStreet, true},
    {"PR_HOME_ADDRESS_CITY", OutlookId::kHomeAddressCity, true},
    {"PR_HOME_ADDRESS_STATE_OR_PROVINCE", OutlookId::kHomeAddressState, true},
    {"PR_HOME_ADDRESS_POSTAL_CODE", OutlookId::kHomeAddressPostalCode, true},
    {"PR_HOME_ADDRESS_COUNTRY", OutlookId::kHomeAddressCountry, true},
    {"PR_PRIMARY_PHONE_NUMBER", OutlookId::kPrimaryTelephoneNumber, false},
    {"PR_BUSINESS_TELEPHONE_NUMBER", OutlookId::kBusinessTelephoneNumber, true},
    {"PR_BUSINESS_FAX_NUMBER", OutlookId::kBusinessFaxNumber, true},
    {"PR_HOME_FAX_NUMBER", OutlookId::kHomeFaxNumber, true},
    {"PR_MOBILE_TELEPHONE_NUMBER", OutlookId::kMobileTelephoneNumber, true},
    {"PR_HOME_TELEPHONE_NUMBER", OutlookId::kHomeTelephoneNumber, true},
    {"PR_HOME2_TELEPHONE_NUMBER", OutlookId::kHome2TelephoneNumber, true},
    {"PR_BUSINESS2_TELEPHONE_NUMBER", OutlookId::kBusiness2TelephoneNumber, true},
    {"PR_COMMENT", OutlookId::kBody, true},
    {"PR_IMADDRESS", OutlookId::kIMAddress, false},
};
constexpr size_t kEmailAfter = 9;  // index of PR_BUSINESS_HOME_PAGE
constexpr DispId kEmailIds[] = {OutlookId::kEmail1Address, OutlookId::kEmail2Address, OutlookId::kEmail3Address};


}  // namespace

CDataItem::Ptr NewItemRecord(int kind, const outlook::OutlookItem& item) {
  auto record = CDataItem::Create(kind);
  record->itemId = item.GetEntryID();
  (*record)["PR_ENTRYID"] = record->itemId;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.20f", item.GetLastModificationTime());
  (*record)["PR_LAST_MODIFICATION_TIME"] = stamp;
  (*record)["PR_MESSAGE_CLASS"] = item.GetMessageClass();
  return record;
}

CDataItem::Ptr ReadContactRecord(const outlook::ContactItem& contact) {
  CDataItem::Ptr record = NewItemRecord(ITEM_CONTACT, contact);
  for (size_t i = 0; i < std::size(kFields); ++i) {
    if (i == kEmailAfter) {
      std::string addresses;
      for (const DispId id : kEmailIds) addresses += contact.GetText(id) + "\t";
      (*record)["PR_CONTACT_EMAIL_ADDRESSES"] = addresses;
    }
    (*record)[kFields[i].key] = contact.GetText(kFields[i].id);
  }
  return record;
}

void WriteContactFields(const outlook::ContactItem& contact, const CDataItem& record) {
  for (const ContactField& field : kFields) {
    if (field.fromCard) contact.PutText(field.id, record.Property(field.key));
  }
  const std::vector<std::string> addresses = SplitTabList(record.Property("PR_CONTACT_EMAIL_ADDRESSES"));
  for (size_t i = 0; i < std::size(kEmailIds); ++i) {
    contact.PutText(kEmailIds[i], i < addresses.size() ? addresses[i] : std::string());
  }
}
