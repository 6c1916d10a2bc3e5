// The merge of a contact's kept vCard text with its record: the text a contact goes back to the
// server as, keeping everything the record cannot hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CDataItem;

// The vCard properties a contact record holds: what the contact mapping (ContactRecordBuilder)
// reads into its keys and CDataItem::ToVCard writes from them. Every other property of a card
// (BDAY, PHOTO, CATEGORIES, UID, X- properties, ...) the record does not hold.
const std::vector<std::string_view>& HeldContactProperties();

// The text of contact `record` when the last text exchanged with the server for it is `kept` (a
// vCard 2.1 or 3.0): `kept` line for line, except the lines of the held properties the record
// changed, which follow the record (written in the kept text's version; a value the user cleared
// loses its line). Lines the record cannot take (a property it does not hold, an address beyond
// those it keeps) and the parameters of unchanged values stay byte for byte. Without a card in
// `kept`, the record's own card.
std::string MergeContactText(std::string_view kept, const CDataItem& record);

// `text` (a vCard) with a UID line holding `uid` before its END line, unless it has a UID.
std::string WithContactUid(std::string_view text, std::string_view uid);
