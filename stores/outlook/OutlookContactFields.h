// The one mapping between a contact record's keys and the ContactItem properties, used both to
// read contacts and to write the server's cards into them.
#pragma once

#include "pim/CDataItem.h"
#include "platform/automation/OutlookDispatch.h"

// A new record of `kind` for `item` with the keys every Outlook record begins with: PR_ENTRYID (also
// the item identifier), PR_LAST_MODIFICATION_TIME (the automation date as "%.20f", the change
// stamp the change log compares as text) and PR_MESSAGE_CLASS. Throws AutomationError.
CDataItem::Ptr NewItemRecord(int kind, const outlook::OutlookItem& item);

// The record of one contact: PR_ENTRYID, PR_LAST_MODIFICATION_TIME (the automation date as
// "%.20f"), PR_MESSAGE_CLASS, then every data key of the contact table in its order, the three
// e-mail addresses joined as PR_CONTACT_EMAIL_ADDRESSES (each followed by a tab, empty ones
// included). The record's item identifier is the EntryID. Throws AutomationError.
CDataItem::Ptr ReadContactRecord(const outlook::ContactItem& contact);

// Puts the data keys of `record` into `contact` (not saved): every field a card can fill gets the
// record's value, or "" when the record has none, so what the card no longer says is removed; the
// first three addresses of PR_CONTACT_EMAIL_ADDRESSES go to Email1Address to Email3Address. The
// fields no card fills (PrimaryTelephoneNumber, IMAddress) are left as they are. Throws
// AutomationError.
void WriteContactFields(const outlook::ContactItem& contact, const CDataItem& record);

// The side lists a card leaves beside the Outlook fields (typed e-mail addresses, additional
// phones and web addresses), in the order they are kept.
inline constexpr const char* kContactSideLists[] = {
    "PR_ZEP_EMAIL_ADDRESSES_TYPES", "PR_ZEP_ADDITIONAL_PHONES_LIST", "PR_ZEP_ADDITIONAL_PHONES_ATTR",
    "PR_ZEP_ADDITIONAL_URLS_LIST", "PR_ZEP_ADDITIONAL_URLS_ATTR",
};
