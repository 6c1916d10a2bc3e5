// The properties of one address book contact as the store writes them, built from a parsed vCard.
#pragma once

#include <string>
#include <vector>

#include "platform/wab/WabApi.h"

class PVCard;

// The tag of a contact property by its name ("PR_SURNAME" -> 0x3A11001F): the name's identifier
// with the wide string type, or the wide string array type for the names of list-valued
// properties. 0 for a name the property table does not know.
ULONG ContactTag(const char* name);

// One property to write: a wide string (one text) or a wide string array (any number of texts).
struct ContactValue {
  ULONG tag = 0;
  std::vector<std::string> texts;  // UTF-8

  friend bool operator==(const ContactValue&, const ContactValue&) = default;
};

// The values of a contact in the order they were first set; setting a tag again replaces its
// value in place.
class ContactProperties {
 public:
  void SetText(ULONG tag, std::string text);
  void SetTexts(ULONG tag, std::vector<std::string> texts);

  const std::vector<ContactValue>& Values() const { return mValues; }
  // The value of `tag`, or null.
  const ContactValue* Find(ULONG tag) const;

 private:
  std::vector<ContactValue> mValues;
};

// Every property the store writes into a contact: the update path deletes these before it
// writes, so that what the server no longer sends does not stay behind.
const std::vector<ULONG>& WrittenContactTags();

// The contact `card` describes, under the identifier `identifier` (PR_ZEP_ENTRYID): the record the
// contact mapping (ContactRecordBuilder, with the pager field) reads from the card, each key as the
// property of its name, every e-mail address of the typed list in PR_CONTACT_EMAIL_ADDRESSES (type
// SMTP) and the first as PR_EMAIL_ADDRESS. Empty values are not written.
ContactProperties BuildContactProperties(const PVCard& card, const std::string& identifier);
