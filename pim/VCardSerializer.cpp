// vCard serializer: header, one line per known property with its 2.1 or 3.0 parameters, nested
// cards, footer; values escaped and never holding a raw line break.
#include "pim/VCardSerializer.h"

#include <array>
#include <string>
#include <vector>

#include "pim/PVCard.h"
#include "pim/VCardStream.h"

namespace {

struct TypeParameter {
  uint32_t bit;
  std::string_view text;
};

// The TYPE parameters in the order they are written.
constexpr std::array<TypeParameter, 8> kTypeParameters = {{
    {PROPERTY_HOME, "HOME"},
    {PROPERTY_WORK, "WORK"},
    {PROPERTY_FAX, "FAX"},
    {PROPERTY_CELL, "CELL"},
    {PROPERTY_VOICE, "VOICE"},
    {PROPERTY_PAGER, "PAGER"},
    {PROPERTY_CAR, "CAR"},
    {PROPERTY_PREFERRED, "PREF"},
}};

// A character set name is written only when it cannot break the line's syntax; a name holding
// other characters (read from a CHARSET line, say) is left out rather than corrupting the line.
bool IsWritableCharsetName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && std::string_view("-_.+()").find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool HoldsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string Decoded(const EncodedText& value) {
  EncodedText copy = value;
  copy.Decode();
  return copy.Text();
}

bool IsEncodedAs(const EncodedText& value, int encoding) {
  return value.State() == ENCODED_STATE_ENCODED && value.Encoding() == encoding;
}

// The transfer encoding a property is written with. vCard 2.1: its own, or quoted-printable for a
// plain property one of whose values holds a line break. vCard 3.0 has no quoted-printable (its
// values escape line breaks as \n): base64 or none.
uint32_t WireEncoding(const PVCardProperty& property, unsigned version) {
  if (property.HasFlag(PROPERTY_BASE64)) return PROPERTY_BASE64;
  if (version != 2) return 0;
  if (property.HasFlag(PROPERTY_QUOTED_PRINTABLE)) return PROPERTY_QUOTED_PRINTABLE;
  for (const auto& value : property.Values()) {
    if (HoldsLineBreak(Decoded(value))) return PROPERTY_QUOTED_PRINTABLE;
  }
  return 0;
}

// A value's bytes as they go on the line: in the wire encoding, without raw line breaks.
std::string WireBytes(const EncodedText& value, uint32_t wireEncoding) {
  if (wireEncoding == PROPERTY_BASE64) {
    if (!IsEncodedAs(value, TRANSFER_BASE64)) return Base64Encode(Decoded(value));
    std::string bytes = value.Text();
    std::erase_if(bytes, [](char c) { return c == '\r' || c == '\n'; });
    return bytes;
  }
  if (wireEncoding == PROPERTY_QUOTED_PRINTABLE) {
    if (!IsEncodedAs(value, TRANSFER_QUOTED_PRINTABLE)) return QuotedPrintableEncode(Decoded(value));
    // A raw line break in quoted-printable text decodes to itself; write it escaped instead.
    std::string bytes;
    for (const char c : value.Text()) {
      if (c == '\r') bytes += "=0D";
      else if (c == '\n') bytes += "=0A";
      else bytes += c;
    }
    return bytes;
  }
  return Decoded(value);
}

// "\" is escaped in every value, ";" inside a component of a structured value; with
// `escapeLineBreaks` (vCard 3.0) a line break (CR LF, CR or LF) becomes "\n".
std::string Escaped(std::string_view bytes, bool structured, bool escapeLineBreaks) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (escapeLineBreaks && (c == '\r' || c == '\n')) {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      out += "\\n";
      continue;
    }
    if (c == '\\' || (c == ';' && structured)) out += '\\';
    out += c;
  }
  return out;
}

// Whether a value holds a byte outside ASCII (only such a value needs its character set named).
bool HoldsNonAscii(const PVCardProperty& property) {
  for (const auto& value : property.Values()) {
    for (const char c : Decoded(value)) {
      if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
  }
  return false;
}

std::string Parameters21(const PVCardProperty& property, uint32_t wireEncoding) {
  std::string text;
  for (const auto& entry : kTypeParameters) {
    if (property.HasFlag(entry.bit)) text.append(";").append(entry.text);
  }
  if (IsWritableCharsetName(property.Charset()) && HoldsNonAscii(property)) text.append(";CHARSET=").append(property.Charset());
  if (wireEncoding == PROPERTY_QUOTED_PRINTABLE) text.append(";ENCODING=QUOTED-PRINTABLE");
  if (wireEncoding == PROPERTY_BASE64) text.append(";ENCODING=BASE64");
  return text;
}

std::string Parameters30(const PVCardProperty& property, uint32_t wireEncoding) {
  std::string text;
  if (wireEncoding == PROPERTY_QUOTED_PRINTABLE) text.append(";ENCODING=QUOTED-PRINTABLE");
  if (wireEncoding == PROPERTY_BASE64) text.append(";ENCODING=BASE64");
  const char* separator = ";TYPE=";
  for (const auto& entry : kTypeParameters) {
    if (!property.HasFlag(entry.bit)) continue;
    text.append(separator).append(entry.text);
    separator = ",";
  }
  return text;
}

std::string PropertyLine(const PVCardProperty& property, unsigned version) {
  const uint32_t wireEncoding = WireEncoding(property, version);
  std::string line(PropertyTypeName(property.Type()));
  line += version == 2 ? Parameters21(property, wireEncoding) : Parameters30(property, wireEncoding);
  line += ':';
  const bool structured = IsStructuredProperty(property.Type());
  const char* separator = "";
  for (const auto& value : property.Values()) {
    line += separator;
    const std::string bytes = WireBytes(value, wireEncoding);
    line += wireEncoding == PROPERTY_BASE64 ? bytes : Escaped(bytes, structured, version != 2);
    separator = ";";
  }
  line += '\n';
  return line;
}

// vCard 3.0 text is UTF-8 by definition and has no CHARSET line (other readers take one as a
// property of the contact and pass it on).
std::string Header(const PVCard& card) {
  std::string text = "BEGIN:VCARD\nVERSION:";
  text += card.Version() == 2 ? "2.1" : "3.0";
  text += '\n';
  return text;
}

int WriteCard(const PVCard& card, VCardOutputStream& stream) {
  if (const int code = stream.Write(Header(card)); code != VCARD_OK) return code;
  for (const auto& property : card.Properties()) {
    if (PropertyTypeName(property.Type()).empty()) continue;
    if (const int code = stream.Write(PropertyLine(property, card.Version())); code != VCARD_OK) return code;
  }
  for (const auto& nested : card.Cards()) {
    if (const int code = WriteCard(*nested, stream); code != VCARD_OK) return code;
  }
  return stream.Write("END:VCARD\n");
}

}  // namespace

int SerializeVCard(const PVCard& card, std::unique_ptr<VCardOutputStream>& stream) {
  if (stream == nullptr) stream = std::make_unique<VCardOutputStream>(kMaxVCardOutputBytes);
  return WriteCard(card, *stream);
}
