// PVCard and its properties: type names, encoding flags, adding values, charset conversion.
#include "pim/PVCard.h"

#include <array>
#include <utility>

#include "common/TextCodec.h"
#include "pim/Charset.h"
#include "pim/VCardContext.h"

namespace {

struct TypeName {
  int type;
  std::string_view name;
};

constexpr std::array<TypeName, 15> kTypeNames = {{
    {PROPERTY_N, "N"},
    {PROPERTY_FN, "FN"},
    {PROPERTY_NICKNAME, "NICKNAME"},
    {PROPERTY_ADR, "ADR"},
    {PROPERTY_EMAIL, "EMAIL"},
    {PROPERTY_TEL, "TEL"},
    {PROPERTY_URL, "URL"},
    {PROPERTY_LABEL, "LABEL"},
    {PROPERTY_NOTE, "NOTE"},
    {PROPERTY_ROLE, "ROLE"},
    {PROPERTY_TITLE, "TITLE"},
    {PROPERTY_UID, "UID"},
    {PROPERTY_ORG, "ORG"},
    {PROPERTY_X_AIM, "X-AIM"},
    {PROPERTY_X_MS_IMADDRESS, "X-MS-IMADDRESS"},
}};

int Record(VCardContext* context, int code) { return context != nullptr ? context->Record(code) : code; }

// The value's bytes with the transfer encoding undone; the bytes as they are when that fails.
std::string DecodedBytes(const EncodedText& value) {
  EncodedText copy = value;
  copy.Decode();
  return copy.Text();
}

}  // namespace

std::string_view PropertyTypeName(int type) {
  for (const auto& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return {};
}

int PropertyTypeFromName(std::string_view name) {
  for (const auto& entry : kTypeNames) {
    if (SameCharsetName(entry.name, name)) return entry.type;
  }
  return PROPERTY_UNKNOWN;
}

bool IsStructuredProperty(int type) { return type == PROPERTY_N || type == PROPERTY_ADR || type == PROPERTY_ORG; }

PVCardProperty::PVCardProperty(VCardContext* context, std::string_view charset, int type)
    : mCharset(charset), mType(type), mContext(context) {}

int PVCardProperty::SetEncodingFlags(uint32_t bits) {
  const bool base64 = (bits & PROPERTY_BASE64) != 0;
  const bool quoted = (bits & PROPERTY_QUOTED_PRINTABLE) != 0;
  if (base64 && (quoted || HasFlag(PROPERTY_QUOTED_PRINTABLE))) return Record(mContext, VCARD_BASE64_ON_QP);
  if (quoted && HasFlag(PROPERTY_BASE64)) return Record(mContext, VCARD_QP_ON_BASE64);
  if (base64 || quoted) {
    // Encode copies first, so a failure leaves every value as it was.
    std::vector<EncodedText> encoded = mValues;
    for (auto& value : encoded) {
      if (value.Encode(base64 ? TRANSFER_BASE64 : TRANSFER_QUOTED_PRINTABLE) != ENCODED_OK) {
        return Record(mContext, VCARD_VALUE_FAILED);
      }
    }
    mValues = std::move(encoded);
  }
  mFlags |= bits;
  return VCARD_OK;
}

int PVCardProperty::ClearEncodingFlags(uint32_t bits) {
  mFlags &= ~bits;
  if ((bits & (PROPERTY_QUOTED_PRINTABLE | PROPERTY_BASE64)) == 0) return VCARD_OK;
  int result = VCARD_OK;
  for (auto& value : mValues) {
    const int code = value.Decode();
    if (result == VCARD_OK) result = code;
  }
  return result;
}

int PVCardProperty::AddValue(std::string_view text, std::string_view charset) {
  if (charset.empty()) return Record(mContext, VCARD_NAME_MISSING);
  EncodedText value(mContext, ENCODED_STATE_PLAIN, charset, TRANSFER_NONE, text);
  if (!mCharset.empty() && !SameCharsetName(mCharset, charset) && value.ConvertCharset(mCharset) != ENCODED_OK) {
    return Record(mContext, VCARD_VALUE_FAILED);
  }
  int code = ENCODED_OK;
  if (HasFlag(PROPERTY_BASE64)) {
    code = value.Encode(TRANSFER_BASE64);
  } else if (HasFlag(PROPERTY_QUOTED_PRINTABLE)) {
    code = value.Encode(TRANSFER_QUOTED_PRINTABLE);
  }
  if (code != ENCODED_OK) return Record(mContext, VCARD_VALUE_FAILED);
  mValues.push_back(std::move(value));
  return VCARD_OK;
}

std::string PVCardProperty::ValueText(std::size_t index) const {
  if (index >= mValues.size()) return {};
  std::string bytes = DecodedBytes(mValues[index]);
  if (!mCharset.empty()) {
    if (IsUtf8CharsetName(mCharset)) return ReplaceInvalidUtf8(bytes);
    std::string converted;
    if (ConvertCharset(mCharset, "UTF-8", bytes, converted) == ENCODED_OK) return converted;
  }
  return IsValidUtf8(bytes) ? bytes : Latin1ToUtf8(bytes);
}

int PVCard::AddProperty(PVCardProperty property) {
  if (mCharset.empty() && !property.Charset().empty()) mCharset = property.Charset();
  mProperties.push_back(std::move(property));
  return VCARD_OK;
}

int PVCard::AddCard(PVCardPtr card) {
  if (card == nullptr) return Record(mContext, VCARD_NESTED_CARD_MISSING);
  mCards.push_back(std::move(card));
  return VCARD_OK;
}

const PVCardProperty* PVCard::FindProperty(int type) const {
  for (const auto& property : mProperties) {
    if (property.Type() == type) return &property;
  }
  return nullptr;
}

int ConvertCardCharset(PVCard& card, std::string_view charset) {
  if (charset.empty()) return Record(card.Context(), VCARD_NAME_MISSING);
  int result = VCARD_OK;
  const auto keep = [&result](int code) {
    if (result == VCARD_OK) result = code;
  };
  if (!card.Charset().empty() && !SameCharsetName(card.Charset(), charset)) {
    for (auto& property : card.Properties()) {
      for (auto& value : property.Values()) keep(value.ConvertCharset(charset));
      property.SetCharset(charset);
    }
    card.SetCharset(charset);
  }
  for (const auto& nested : card.Cards()) keep(ConvertCardCharset(*nested, charset));
  return result;
}
