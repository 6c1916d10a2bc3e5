// The vCard serializer: a PVCard to vCard 2.1 or 3.0 text, one line per property, LF line ends.
#pragma once

#include <memory>

class PVCard;
class VCardOutputStream;

// Appends the text of `card` and its nested cards to `stream`, made (with the ceiling
// kMaxVCardOutputBytes) when null. Properties of unknown type are left out; a vCard 2.1 property
// names its character set only when a value holds a byte outside ASCII. A raw line break is
// never written: in vCard 2.1 a property holding one is written quoted-printable, in vCard 3.0 it
// is escaped as "\n" (3.0 has neither quoted-printable nor a CHARSET line); "\" is escaped in every
// text value and ";" inside the components of N, ADR and ORG. Returns VCARD_OK or the stream's
// failure code (the stream then holds the text up to the failing write).
int SerializeVCard(const PVCard& card, std::unique_ptr<VCardOutputStream>& stream);
