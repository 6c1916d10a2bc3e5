// Stored types of property values and the byte form of arrays in the database.
#include "platform/wab/store/PropertyValue.h"

#include <type_traits>

#include "platform/wab/store/WabFailure.h"

namespace {


void PutU32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

template <class Range>
void PutElement(Bytes& out, const Range& bytes) {
  PutU32(out, static_cast<std::uint32_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Reads the array's byte form, refusing anything that runs past the end or over the limits.
class ArrayReader {
 public:
  ArrayReader(const std::uint8_t* data, std::size_t size) : mData(data), mSize(size) {}

  std::uint32_t U32() {
    if (mSize - mPos < 4) throw WabFailure(MAPI_E_CORRUPT_DATA);
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value |= std::uint32_t(mData[mPos + k]) << (8 * k);
    mPos += 4;
    return value;
  }
  std::size_t Count() {
    const std::uint32_t count = U32();
    if (count > kMaxMultiValues) throw WabFailure(MAPI_E_CORRUPT_DATA);
    return count;
  }
  std::pair<const std::uint8_t*, std::size_t> Element() {
    const std::uint32_t length = U32();
    if (length > kMaxValueBytes || length > mSize - mPos) throw WabFailure(MAPI_E_CORRUPT_DATA);
    const std::uint8_t* start = mData + mPos;
    mPos += length;
    return {start, length};
  }
  void ExpectEnd() const {
    if (mPos != mSize) throw WabFailure(MAPI_E_CORRUPT_DATA);
  }

 private:
  const std::uint8_t* mData;
  std::size_t mSize;
  std::size_t mPos = 0;
};

}  // namespace

ULONG PropertyValue::Type() const {
  static constexpr ULONG kTypes[] = {PT_LONG,  PT_BOOLEAN,  PT_SYSTIME,    PT_UNICODE,
                                     PT_BINARY, PT_MV_LONG, PT_MV_UNICODE, PT_MV_BINARY};
  return kTypes[data.index()];
}

ULONG StoredTypeOf(ULONG type) {
  switch (type) {
    case PT_LONG:
    case PT_BOOLEAN:
    case PT_SYSTIME:
    case PT_UNICODE:
    case PT_BINARY:
    case PT_MV_LONG:
    case PT_MV_UNICODE:
    case PT_MV_BINARY:
      return type;
    case PT_STRING8:
      return PT_UNICODE;
    case PT_MV_STRING8:
      return PT_MV_UNICODE;
    default:
      return 0;
  }
}

Bytes EncodeArray(const PropertyValue& value) {
  Bytes out;
  std::visit(
      [&](const auto& data) {
        using T = std::decay_t<decltype(data)>;
        if constexpr (std::is_same_v<T, std::vector<LONG>>) {
          PutU32(out, static_cast<std::uint32_t>(data.size()));
          for (LONG element : data) {
            Bytes four;
            PutU32(four, static_cast<std::uint32_t>(element));
            PutElement(out, four);
          }
        } else if constexpr (std::is_same_v<T, std::vector<std::string>> || std::is_same_v<T, std::vector<Bytes>>) {
          PutU32(out, static_cast<std::uint32_t>(data.size()));
          for (const auto& element : data) PutElement(out, element);
        } else {
          throw WabFailure(MAPI_E_INVALID_TYPE);  // single values are not arrays
        }
      },
      value.data);
  return out;
}

PropertyValue DecodeArray(ULONG storedType, const std::uint8_t* blob, std::size_t size) {
  ArrayReader reader(blob, size);
  const std::size_t count = reader.Count();
  PropertyValue value;
  if (storedType == PT_MV_LONG) {
    std::vector<LONG> longs;
    for (std::size_t i = 0; i < count; ++i) {
      const auto [bytes, length] = reader.Element();
      if (length != 4) throw WabFailure(MAPI_E_CORRUPT_DATA);
      longs.push_back(static_cast<LONG>(ArrayReader(bytes, 4).U32()));
    }
    value.data = std::move(longs);
  } else if (storedType == PT_MV_UNICODE) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
      const auto [bytes, length] = reader.Element();
      texts.emplace_back(reinterpret_cast<const char*>(bytes), length);
    }
    value.data = std::move(texts);
  } else if (storedType == PT_MV_BINARY) {
    std::vector<Bytes> binaries;
    for (std::size_t i = 0; i < count; ++i) {
      const auto [bytes, length] = reader.Element();
      binaries.emplace_back(bytes, bytes + length);
    }
    value.data = std::move(binaries);
  } else {
    throw WabFailure(MAPI_E_CORRUPT_DATA);
  }
  reader.ExpectEnd();
  return value;
}
