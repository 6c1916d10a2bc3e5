// Contact and contact group records from parsed vCards, by the field rules a contact store follows;
// shared by the stores that write server contacts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pim/CDataItem.h"

class PVCard;
class PVCardProperty;

// Fills the data keys of one contact record from a card: names, addresses, e-mail addresses
// (preferred first), telephone numbers into the first free fixed field and the rest into the
// additional list, web pages, note, title and organization. Keys the card does not give are
// left as they are. `record` must outlive the builder; one builder per card.
class ContactRecordBuilder {
 public:
  explicit ContactRecordBuilder(CDataItem& record) : mRecord(record) {}

  // Fills the record; true when the card had no FN and the display name was taken from the
  // nickname (a store then sends the completed item back).
  bool Build(const PVCard& card);

 private:
  void Add(const PVCardProperty& property);
  void AddAddress(const PVCardProperty& property);
  void AddEmail(const PVCardProperty& property);
  void AddPhone(const PVCardProperty& property);
  void AddUrl(const PVCardProperty& property);
  void Set(const char* key, const std::string& value) { mRecord[key] = value; }
  bool SetIfFree(const char* key, const std::string& value);
  const std::string& Value(const char* key) const { return mRecord.Property(key); }

  CDataItem& mRecord;
  bool mHasName = false;
  // Type prefix ("W:" or "H:") and address, preferred ones first.
  std::vector<std::pair<std::string, std::string>> mEmails;
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
