// The vCard parser: card text (vCard 2.1 and 3.0) to PVCard objects, and the entry point that
// parses the text of a server item.
#pragma once

#include <string_view>

#include "pim/PVCard.h"

class VCardContext;
class VCardInputStream;

// Parses the next card of `stream` into `card` (null when the stream holds no "BEGIN:VCARD"
// line). Returns VCARD_OK, or the code that stopped the parse; `card` then holds what was read
// up to the failing line. Values keep their transfer encoding and character set; escapes
// (\\ \; \, \: \n \N) are resolved, structured values (N, ADR, ORG) are split on unescaped ";".
int ParseVCard(VCardContext* context, PVCardPtr& card, VCardInputStream& stream);

// The card of a server item's text (program text, UTF-8), or null when `context` is null, the
// text is empty, larger than kMaxVCardBytes, or holds no "BEGIN:VCARD" line. A card cut short by
// a parse failure is still returned; the failure code is recorded in the context. The card keeps
// `text` as its SourceText. Owned by the caller.
PVCardPtr Zep3_PVCard_FromStream(VCardContext* context, std::string_view text);
