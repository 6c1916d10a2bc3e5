// CDataItem::ToVCard: the vCard 3.0 (or 2.1) text of a contact or group record, built as a PVCard.
#include <array>
#include <initializer_list>
#include <string>

#include "config/CLog.h"
#include "pim/CDataItem.h"
#include "pim/Charset.h"
#include "pim/ItemLists.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardSerializer.h"
#include "pim/VCardStream.h"

namespace {

constexpr std::string_view kUtf8 = "utf-8";

// A fixed phone row: the key of its number, its flags, and the key name that, given as the
// preferred-phone reference, makes it preferred (null: never preferred).
struct PhoneRow {
  const char* key;
  uint32_t flags;
  const char* preferredName;
};

// The pager row carries the work pager a contact's card brought into the address book; without it
// the number would never go back to the server.
constexpr std::array<PhoneRow, 8> kPhoneRows = {{
    {"PR_BUSINESS_TELEPHONE_NUMBER", PROPERTY_WORK | PROPERTY_VOICE, "PR_BUSINESS_TELEPHONE_NUMBER"},
    {"PR_BUSINESS2_TELEPHONE_NUMBER", PROPERTY_WORK | PROPERTY_VOICE, nullptr},
    {"PR_BUSINESS_FAX_NUMBER", PROPERTY_WORK | PROPERTY_FAX, "PR_BUSINESS_FAX_NUMBER"},
    {"PR_PAGER_TELEPHONE_NUMBER", PROPERTY_WORK | PROPERTY_PAGER, "PR_PAGER_TELEPHONE_NUMBER"},
    {"PR_HOME_FAX_NUMBER", PROPERTY_HOME | PROPERTY_FAX, "PR_HOME_FAX_NUMBER"},
    {"PR_MOBILE_TELEPHONE_NUMBER", PROPERTY_HOME | PROPERTY_CELL, "PR_CELLULAR_TELEPHONE_NUMBER"},
    {"PR_HOME_TELEPHONE_NUMBER", PROPERTY_HOME | PROPERTY_VOICE, "PR_HOME_TELEPHONE_NUMBER"},
    {"PR_HOME2_TELEPHONE_NUMBER", PROPERTY_HOME | PROPERTY_VOICE, nullptr},
}};

uint32_t PhoneKindFlag(PhoneKind kind) {
  switch (kind) {
    case PhoneKind::Cell:
      return PROPERTY_CELL;
    case PhoneKind::Fax:
      return PROPERTY_FAX;
    case PhoneKind::Pager:
      return PROPERTY_PAGER;
    case PhoneKind::Car:
      return PROPERTY_CAR;
    case PhoneKind::Voice:
      return PROPERTY_VOICE;
  }
  return PROPERTY_VOICE;
}

// Builds the card of one record, property by property in the fixed order; the first failure
// stops nothing but is kept, so the caller can refuse a card with a missing value. Properties
// whose values are all empty are left out (FN and N excepted: every card has them), so a card
// says nothing its record does not hold.
class ContactCardBuilder {
 public:
  ContactCardBuilder(const CDataItem& item, VCardContext& context, unsigned version)
      : mItem(item), mCard(&context, version) {}

  int Build() {
    AddNames();
    AddEmails();
    AddAddressesAndPages();
    AddFixedPhones();
    AddAdditionalPhones();
    AddAdditionalUrls();
    // An application that keeps an empty note for every contact (Outlook's body) adds no empty NOTE.
    AddIfSet(PROPERTY_NOTE, {Value("PR_COMMENT")}, mCard.Version() == 2 ? uint32_t{PROPERTY_QUOTED_PRINTABLE} : 0u);
    if (mItem.kind == ITEM_GROUP) {
      for (const auto& member : mItem.members) Add(PROPERTY_UID, {member}, 0);
    }
    return mResult;
  }

  PVCard& Card() { return mCard; }

 private:
  // A view into the record, which stays packed.
  std::string_view Value(const char* key) const { return mItem.PropertyView(key); }

  void Add(int type, std::initializer_list<std::string_view> values, uint32_t flags) {
    PVCardProperty property(mCard.Context(), kUtf8, type);
    Keep(property.SetEncodingFlags(flags));
    for (const auto value : values) Keep(property.AddValue(ProgramTextToUtf8(value), kUtf8));
    Keep(mCard.AddProperty(std::move(property)));
  }

  // Adds the property unless all its values are empty.
  void AddIfSet(int type, std::initializer_list<std::string_view> values, uint32_t flags) {
    for (const auto value : values) {
      if (!value.empty()) return Add(type, values, flags);
    }
  }

  void Keep(int code) {
    if (mResult == VCARD_OK) mResult = code;
  }

  void AddNames() {
    Add(PROPERTY_FN, {Value("PR_DISPLAY_NAME")}, 0);
    AddIfSet(PROPERTY_NICKNAME, {Value("PR_NICKNAME")}, 0);
    Add(PROPERTY_N,
        {Value("PR_SURNAME"), Value("PR_GIVEN_NAME"), Value("PR_MIDDLE_NAME"), Value("PR_DISPLAY_NAME_PREFIX")}, 0);
    AddIfSet(PROPERTY_ORG, {Value("PR_COMPANY_NAME"), Value("PR_DEPARTMENT_NAME")}, 0);
    AddIfSet(PROPERTY_TITLE, {Value("PR_TITLE")}, 0);
  }

  // One EMAIL per typed address; the one equal to PR_EMAIL_ADDRESS (or, without it, the first)
  // is preferred.
  void AddEmails() {
    const std::string_view preferredAddress = Value("PR_EMAIL_ADDRESS");
    bool preferredGiven = false;
    for (const auto& typed : ReadTypedAddressList(mItem)) {
      uint32_t flags = typed.work ? PROPERTY_WORK : PROPERTY_HOME;
      if (!preferredGiven && (preferredAddress.empty() || typed.address == preferredAddress)) {
        flags |= PROPERTY_PREFERRED;
        preferredGiven = true;
      }
      Add(PROPERTY_EMAIL, {typed.address}, flags);
    }
  }

  void AddAddressesAndPages() {
    AddIfSet(PROPERTY_URL, {Value("PR_BUSINESS_HOME_PAGE")}, PROPERTY_WORK);
    AddIfSet(PROPERTY_ADR,
        {"", Value("PR_OFFICE_LOCATION"), Value("PR_STREET_ADDRESS"), Value("PR_LOCALITY"), Value("PR_STATE_OR_PROVINCE"),
         Value("PR_POSTAL_CODE"), Value("PR_COUNTRY")},
        PROPERTY_WORK);
    AddIfSet(PROPERTY_URL, {Value("PR_PERSONAL_HOME_PAGE")}, PROPERTY_HOME);
    AddIfSet(PROPERTY_ADR,
        {"", "", Value("PR_HOME_ADDRESS_STREET"), Value("PR_HOME_ADDRESS_CITY"), Value("PR_HOME_ADDRESS_STATE_OR_PROVINCE"),
         Value("PR_HOME_ADDRESS_POSTAL_CODE"), Value("PR_HOME_ADDRESS_COUNTRY")},
        PROPERTY_HOME);
  }

  // The preferred-phone reference: a key name, or else the primary number itself.
  std::string_view PreferredReference() const {
    const std::string_view index = Value("PR_ZEP_PREF_PHONE_INDEX");
    return index.empty() ? Value("PR_PRIMARY_PHONE_NUMBER") : index;
  }

  // A row is preferred when the reference names its key, or else when its number equals the
  // reference and no earlier row took the reference by number.
  void AddFixedPhones() {
    const std::string_view reference = PreferredReference();
    bool takenByNumber = false;
    for (const auto& row : kPhoneRows) {
      const std::string_view number = Value(row.key);
      if (number.empty()) continue;
      uint32_t flags = row.flags;
      if (row.preferredName != nullptr) {
        if (reference == row.preferredName) {
          flags |= PROPERTY_PREFERRED;
        } else if (!takenByNumber && number == reference) {
          flags |= PROPERTY_PREFERRED;
          takenByNumber = true;
        }
      }
      Add(PROPERTY_TEL, {number}, flags);
    }
  }

  void AddAdditionalPhones() {
    const bool noReference = PreferredReference().empty();
    for (const auto& phone : ReadAdditionalPhones(mItem)) {
      uint32_t flags = (phone.work ? PROPERTY_WORK : PROPERTY_HOME) | PhoneKindFlag(phone.kind);
      if (phone.preferred && noReference) flags |= PROPERTY_PREFERRED;
      Add(PROPERTY_TEL, {phone.number}, flags);
    }
  }

  void AddAdditionalUrls() {
    for (const auto& url : ReadAdditionalUrls(mItem)) Add(PROPERTY_URL, {url.address}, url.work ? PROPERTY_WORK : PROPERTY_HOME);
  }

  const CDataItem& mItem;
  PVCard mCard;
  int mResult = VCARD_OK;
};

}  // namespace

std::string CDataItem::ToVCard() const { return ToVCard(3); }

// A card that cannot be built or written whole yields "" (and an error in the log) rather than a
// card with values missing or cut short.
std::string CDataItem::ToVCard(unsigned version) const {
  VCardContext context;
  ContactCardBuilder builder(*this, context, version == 2 ? 2 : 3);
  int code = builder.Build();
  if (code == VCARD_OK) code = ConvertCardCharset(builder.Card(), kUtf8);
  std::unique_ptr<VCardOutputStream> stream;
  if (code == VCARD_OK) code = SerializeVCard(builder.Card(), stream);
  if (code != VCARD_OK) {
    LogError("CDataItem::ToVCard", "the vCard of item " + itemId + " could not be made, code " + std::to_string(code));
    return {};
  }
  return stream->Content();
}
