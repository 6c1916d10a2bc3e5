// The parsed vCard object: a card with its version and character set, its properties (type, flags,
// value components as EncodedText) and nested cards, with the building operations and result codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pim/EncodedText.h"

class VCardContext;

// The property names the library knows (any letter case); every other name is unknown.
enum PropertyType : int {
  PROPERTY_UNKNOWN = 0,
  PROPERTY_N = 1,
  PROPERTY_FN = 2,
  PROPERTY_NICKNAME = 3,
  PROPERTY_ADR = 4,
  PROPERTY_EMAIL = 5,
  PROPERTY_TEL = 6,
  PROPERTY_URL = 7,
  PROPERTY_LABEL = 8,
  PROPERTY_NOTE = 9,
  PROPERTY_ROLE = 10,
  PROPERTY_TITLE = 12,
  PROPERTY_UID = 13,
  PROPERTY_ORG = 15,
  PROPERTY_X_AIM = 17,
  PROPERTY_X_MS_IMADDRESS = 18,
};

// Property flag bits; parsed from the parameters, written back as TYPE and ENCODING parameters.
enum PropertyFlags : uint32_t {
  PROPERTY_HOME = 0x1,
  PROPERTY_WORK = 0x2,
  PROPERTY_QUOTED_PRINTABLE = 0x4,
  PROPERTY_BASE64 = 0x8,
  PROPERTY_7BIT = 0x10,
  PROPERTY_8BIT = 0x20,
  PROPERTY_PREFERRED = 0x40,
  PROPERTY_FAX = 0x80,
  PROPERTY_CELL = 0x100,
  PROPERTY_VOICE = 0x200,
  PROPERTY_PAGER = 0x400,
  PROPERTY_INSTANT_MESSAGING = 0x800,
  PROPERTY_CAR = 0x1000,
};

// Result codes of the library (EncodedText operations give their own codes, see EncodedText.h).
// The numbers are fixed; new codes are added at the end of their group.
enum VCardResult : int {
  VCARD_OK = 0,
  VCARD_INSERT_FAILED = 1,
  VCARD_ELEMENT_UNREADABLE = 2,
  VCARD_VALUE_FAILED = 4,          // a value could not be created, converted or transfer-encoded
  VCARD_UNKNOWN_PROPERTY = 5,      // the property is skipped; not an error of the parse
  VCARD_BASE64_ON_QP = 6,          // base64 asked for on a quoted-printable property
  VCARD_NESTED_CARD_MISSING = 7,
  VCARD_QP_ON_BASE64 = 8,          // quoted-printable asked for on a base64 property
  VCARD_NAME_MISSING = 9,          // a required character set name is missing
  VCARD_PROPERTY_MISSING = 10,
  VCARD_NESTING_TOO_DEEP = 11,     // cards nested deeper than kMaxVCardNesting
  VCARD_TOO_MANY_VALUES = 12,      // more than kMaxVCardValues values in one parse
  VCARD_STREAM_READ_FAILED = 2031,
  VCARD_STREAM_COPY_NO_MEMORY = 2038,
  VCARD_STREAM_GROW_FAILED = 2053,
  VCARD_STREAM_GROW_NO_MEMORY = 2055,
  VCARD_STREAM_TOO_LARGE = 2056,   // the content would exceed the stream's ceiling
};

// Ceilings: input accepted by the parser, output a serializer may produce, cards nested in cards,
// value components made by one parse.
inline constexpr std::size_t kMaxVCardBytes = 16u * 1024u * 1024u;
inline constexpr std::size_t kMaxVCardOutputBytes = 64u * 1024u * 1024u;
inline constexpr int kMaxVCardNesting = 16;
inline constexpr std::size_t kMaxVCardValues = 200000;

// The name of a known type ("" for PROPERTY_UNKNOWN) and the type of a name (any letter case).
std::string_view PropertyTypeName(int type);
int PropertyTypeFromName(std::string_view name);
// Whether values of the type are structured (components separated by ";": N, ADR, ORG).
bool IsStructuredProperty(int type);

// One property line. A value type: copying copies the values. The context is not owned and must
// outlive the property.
class PVCardProperty {
 public:
  // A new property; an empty `charset` means none.
  PVCardProperty(VCardContext* context, std::string_view charset, int type);

  VCardContext* Context() const { return mContext; }
  const std::string& Charset() const { return mCharset; }
  int Type() const { return mType; }
  uint32_t Flags() const { return mFlags; }
  bool HasFlag(uint32_t bit) const { return (mFlags & bit) != 0; }
  const std::vector<EncodedText>& Values() const { return mValues; }
  std::vector<EncodedText>& Values() { return mValues; }

  void SetCharset(std::string_view charset) { mCharset = charset; }
  // Adds `bits`. Asking for base64 on a quoted-printable property gives VCARD_BASE64_ON_QP and
  // quoted-printable on a base64 one VCARD_QP_ON_BASE64 (nothing changes); otherwise the values
  // present are encoded accordingly (VCARD_VALUE_FAILED when one cannot be).
  int SetEncodingFlags(uint32_t bits);
  // Removes `bits`; when a transfer encoding bit is among them every value is decoded (the first
  // decoding failure is returned, the other values are still decoded).
  int ClearEncodingFlags(uint32_t bits);
  // Appends `text` as a value in the set `charset`, converted to the property's set when it has
  // another one and transfer-encoded as the flags ask. VCARD_NAME_MISSING without `charset`,
  // VCARD_VALUE_FAILED when converting or encoding fails (nothing is appended).
  int AddValue(std::string_view text, std::string_view charset);
  // Appends a value as it is (the parser's use).
  void AppendValue(EncodedText value) { mValues.push_back(std::move(value)); }

  // Value `index` as program text (UTF-8): transfer encoding undone; converted from the
  // property's set when it names one other than UTF-8 (kept when that fails); bytes of a set named
  // UTF-8 that are not get U+FFFD for each invalid sequence; bytes of a value without a named set
  // are kept when they are UTF-8 and read as ISO-8859-1 otherwise.
  // "" when there is no such value.
  std::string ValueText(std::size_t index) const;

 private:
  std::string mCharset;
  int mType;
  uint32_t mFlags = 0;
  std::vector<EncodedText> mValues;
  VCardContext* mContext;
};

class PVCard;
using PVCardPtr = std::unique_ptr<PVCard>;

// A card: owns its properties and nested cards. Not copyable; the context is not owned and must
// outlive the card.
class PVCard {
 public:
  // `version`: 0 not yet known, 2 for vCard 2.1, 3 for vCard 3.0.
  explicit PVCard(VCardContext* context, unsigned version = 0) : mVersion(version), mContext(context) {}
  PVCard(const PVCard&) = delete;
  PVCard& operator=(const PVCard&) = delete;

  VCardContext* Context() const { return mContext; }
  // "" when the card has no character set.
  const std::string& Charset() const { return mCharset; }
  unsigned Version() const { return mVersion; }
  const std::vector<PVCardProperty>& Properties() const { return mProperties; }
  std::vector<PVCardProperty>& Properties() { return mProperties; }
  const std::vector<PVCardPtr>& Cards() const { return mCards; }

  void SetVersion(unsigned version) { mVersion = version; }
  void SetCharset(std::string_view charset) { mCharset = charset; }
  // Appends `property`; the card takes its character set when the card has none.
  int AddProperty(PVCardProperty property);
  // Appends a nested card; VCARD_NESTED_CARD_MISSING for a null one.
  int AddCard(PVCardPtr card);

  // The first property of `type`, or null.
  const PVCardProperty* FindProperty(int type) const;

  // The whole item text the card was parsed from (Zep3_PVCard_FromStream); "" for a card built
  // otherwise. A store that keeps items as text writes it rather than the parsed properties.
  const std::string& SourceText() const { return mSourceText; }
  void SetSourceText(std::string_view text) { mSourceText = text; }

 private:
  std::string mSourceText;
  std::string mCharset;
  unsigned mVersion;
  std::vector<PVCardProperty> mProperties;
  std::vector<PVCardPtr> mCards;
  VCardContext* mContext;
};

// When the card has a character set other than `charset` (any letter case), converts every
// value of its properties to `charset`, keeping their transfer encoding, and makes `charset` the
// set of every property and of the card; nested cards are converted the same way. Returns the
// first failure code (the remaining values are still converted), VCARD_NAME_MISSING without a name.
int ConvertCardCharset(PVCard& card, std::string_view charset);
