// The contact mapping from a card to a record, written once for every contact store: which card
// property goes to which record key; and contact group records from parsed vCards.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pim/CDataItem.h"

class PVCard;
class PVCardProperty;

// The fixed fields a store has beyond those every contact store has (the two business, two home,
// business fax, home fax and mobile numbers, the business and personal web pages).
struct ContactFields {
  bool pager = false;  // PR_PAGER_TELEPHONE_NUMBER (the address book has it, Outlook's model not)
};

// The mapping's class of a telephone number: its location letter ("W" work, "H" home or none)
// and its kind letter ("P" pager, "F" fax, "C" cell, "A" car, "T" voice), as the additional-phone
// codes write them. Numbers of one class are interchangeable for a store.
std::string PhoneClass(const PVCardProperty& tel);

// Fills the data keys of one contact record from a card: names, addresses, e-mail addresses
// (preferred first), telephone numbers, web pages, note, title and organization. Keys the card
// does not give are left as they are. `record` must outlive the builder; one builder per card.
//
// Every value of the card that the record can hold is kept, in a field or in a side list:
// - TEL: preferred numbers first, then the others in card order, each into the first free field
//   of its class: a work voice number (typed WORK, with or without VOICE) into the business
//   numbers, a home one into the home numbers, a cell without WORK into the mobile number, a home
//   or work fax into its fax field, a work pager into the pager field (when the store has one);
//   every other number (a second cell, a third work number, a car phone, a number without a
//   location) goes to the additional-phone lists with its class, so its types read back as written.
// - EMAIL: all addresses in the typed list (preferred first), the first three also in
//   PR_CONTACT_EMAIL_ADDRESSES.
// - ADR (7 components): a work address to the business keys, a home one to the home keys; an
//   address of another type only into home keys no HOME address has taken.
// - URL: a work page into the business page, a home or untyped one into the personal page, each
//   when free; the others to the additional-URL lists.
class ContactRecordBuilder {
 public:
  explicit ContactRecordBuilder(CDataItem& record, ContactFields fields = {}) : mRecord(record), mFields(fields) {}

  // Fills the record; true when the card had no FN and the display name was taken from the
  // nickname (a store then sends the completed item back).
  bool Build(const PVCard& card);

 private:
  void Add(const PVCardProperty& property);
  void AddAddress(const PVCardProperty& property);
  void AddEmail(const PVCardProperty& property);
  void PlacePhone(const PVCardProperty& property);
  void AddUrl(const PVCardProperty& property);
  void Set(const char* key, const std::string& value) { mRecord[key] = value; }
  bool SetIfFree(const char* key, const std::string& value);
  const std::string& Value(const char* key) const { return mRecord.Property(key); }

  CDataItem& mRecord;
  ContactFields mFields;
  bool mHasName = false;
  // The home address keys hold an address of another type (a HOME address may replace it); the
  // work keys, or the home keys from a HOME address, are taken.
  bool mHomeFromOther = false;
  bool mHomeTaken = false;
  bool mWorkTaken = false;
  // Type prefix ("W:" or "H:") and address, preferred ones first.
  std::vector<std::pair<std::string, std::string>> mEmails;
  std::vector<const PVCardProperty*> mPhones;
};

// What a contact group's card says: its name (FN), its note, and its members as the UID values
// in card order. A member is named by a local identifier, or by kServerReference followed by the
// server identifier of an item the server sent earlier in the same run.
struct GroupCard {
  static constexpr std::string_view kServerReference = "TMP:";

  std::string displayName;
  std::optional<std::string> comment;  // set when the card has a NOTE
  std::vector<std::string> members;

  static GroupCard Read(const PVCard& card);
  // The server identifier a member reference names, or "" when it is a local identifier.
  static std::string ServerIdOf(const std::string& member);
};
