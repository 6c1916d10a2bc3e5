// The library's own form of a property value: one alternative per stored type, text as UTF-8
// (both string types are one family, kept as wide text), with the size limits every value obeys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "platform/wab/WabApi.h"

using Bytes = std::vector<std::uint8_t>;

// Ceilings on what one entry may hold; values over them are refused with MAPI_E_TOO_BIG, and
// stored data over them reads as MAPI_E_CORRUPT_DATA.
inline constexpr std::size_t kMaxValueBytes = std::size_t(8) << 20;  // one string or binary
inline constexpr std::size_t kMaxMultiValues = 65536;               // elements of one array
inline constexpr std::size_t kMaxProperties = 4096;                 // properties of one entry

struct PropertyValue {
  using Data = std::variant<LONG, bool, LONGLONG, std::string, Bytes, std::vector<LONG>,
                            std::vector<std::string>, std::vector<Bytes>>;
  Data data;

  // The stored type: PT_LONG, PT_BOOLEAN, PT_SYSTIME, PT_UNICODE, PT_BINARY, PT_MV_LONG,
  // PT_MV_UNICODE or PT_MV_BINARY.
  ULONG Type() const;
  bool operator==(const PropertyValue&) const = default;
};

// Properties by identifier (the tag's high 16 bits): one value per identifier, as in MAPI.
using PropertyMap = std::map<ULONG, PropertyValue>;

// The stored type a caller's type belongs to (PT_STRING8 -> PT_UNICODE, ...), or 0 when the type
// is not one the library stores.
ULONG StoredTypeOf(ULONG type);

// Arrays in the database: a 32-bit little-endian count, then per element a 32-bit length and its
// bytes (texts as UTF-8, longs as 4 little-endian bytes).
Bytes EncodeArray(const PropertyValue& value);
// Decodes `blob` as an array of `storedType`; throws WabFailure(MAPI_E_CORRUPT_DATA) on malformed
// or over-limit data.
PropertyValue DecodeArray(ULONG storedType, const std::uint8_t* blob, std::size_t size);
