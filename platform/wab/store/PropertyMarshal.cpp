// Conversions between SPropValue and the stored form, with text widths and size limits.
#include "platform/wab/store/PropertyMarshal.h"

#include <cstring>
#include <type_traits>

#include "common/TextCodec.h"
#include "platform/wab/store/WabFailure.h"

namespace {

// ---- caller to stored -------------------------------------------------------------------------

void RequireSize(std::size_t size) {
  if (size > kMaxValueBytes) throw WabFailure(MAPI_E_TOO_BIG);
}

std::string ReadWide(const WCHAR* text) {
  Require(text != nullptr);
  std::size_t length = 0;
  while (text[length] != 0) {
    if (++length > kMaxValueBytes / 2) throw WabFailure(MAPI_E_TOO_BIG);
  }
  std::string utf8 = Utf16ToUtf8(std::u16string_view(text, length));
  RequireSize(utf8.size());
  return utf8;
}

std::string ReadNarrow(const char* text) {
  Require(text != nullptr);
  const std::size_t length = strnlen(text, kMaxValueBytes + 1);
  RequireSize(length);
  std::string utf8;
  if (!LocaleToUtf8(std::string_view(text, length), utf8)) throw WabFailure(MAPI_E_BAD_CHARWIDTH);
  RequireSize(utf8.size());
  return utf8;
}

Bytes ReadBinary(const SBinary& binary) {
  RequireSize(binary.cb);
  Require(binary.cb == 0 || binary.lpb != nullptr);
  return binary.cb == 0 ? Bytes() : Bytes(binary.lpb, binary.lpb + binary.cb);
}

template <class Element, class Source, class ReadOne>
std::vector<Element> ReadArray(ULONG count, const Source* source, ReadOne readOne) {
  if (count > kMaxMultiValues) throw WabFailure(MAPI_E_TOO_BIG);
  Require(count == 0 || source != nullptr);
  std::vector<Element> elements;
  elements.reserve(count);
  for (ULONG i = 0; i < count; ++i) elements.push_back(readOne(source[i]));
  return elements;
}

// ---- stored to caller -------------------------------------------------------------------------

// 8-bit text in the locale's codeset; characters it cannot hold become '?', as the platform's
// own conversion does.
std::string ToLocaleLossy(const std::string& utf8) {
  std::string out;
  if (Utf8ToLocale(utf8, out)) return out;
  out.clear();
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    std::string piece;
    out += Utf8ToLocale(std::string_view(utf8).substr(i, length), piece) ? piece : std::string("?");
    i += length;
  }
  return out;
}

char* CopyNarrow(const std::string& utf8, OwnedBuffer& buffer) {
  const std::string text = ToLocaleLossy(utf8);
  auto* copy = static_cast<char*>(buffer.More(text.size() + 1));
  std::memcpy(copy, text.data(), text.size());
  return copy;
}

WCHAR* CopyWide(const std::string& utf8, OwnedBuffer& buffer) {
  const std::u16string text = Utf8ToUtf16(utf8);
  auto* copy = static_cast<WCHAR*>(buffer.More((text.size() + 1) * sizeof(WCHAR)));
  std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR));
  return copy;
}

SBinary CopyBinary(const Bytes& bytes, OwnedBuffer& buffer) {
  auto* copy = static_cast<BYTE*>(buffer.More(bytes.size()));
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  return SBinary{static_cast<ULONG>(bytes.size()), copy};
}

template <class Element, class Source, class CopyOne>
Element* CopyArray(const std::vector<Source>& source, OwnedBuffer& buffer, CopyOne copyOne) {
  auto* elements = static_cast<Element*>(buffer.More(sizeof(Element) * source.size()));
  for (std::size_t i = 0; i < source.size(); ++i) elements[i] = copyOne(source[i]);
  return elements;
}

// The type a value goes out as for a requested type, or 0 when it has none.
ULONG OutputType(ULONG requested, ULONG stored, bool unicode) {
  if (requested == PT_UNSPECIFIED) {
    if (!unicode && stored == PT_UNICODE) return PT_STRING8;
    if (!unicode && stored == PT_MV_UNICODE) return PT_MV_STRING8;
    return stored;
  }
  return StoredTypeOf(requested) == stored ? requested : 0;
}

void WriteValue(ULONG type, const PropertyValue& value, OwnedBuffer& buffer, PV& out) {
  const auto& data = value.data;
  switch (type) {
    case PT_LONG:
      out.l = std::get<LONG>(data);
      break;
    case PT_BOOLEAN:
      out.b = std::get<bool>(data) ? 1 : 0;
      break;
    case PT_SYSTIME: {
      const auto time = static_cast<std::uint64_t>(std::get<LONGLONG>(data));
      out.ft = FILETIME{static_cast<ULONG>(time), static_cast<ULONG>(time >> 32)};
      break;
    }
    case PT_STRING8:
      out.lpszA = CopyNarrow(std::get<std::string>(data), buffer);
      break;
    case PT_UNICODE:
      out.lpszW = CopyWide(std::get<std::string>(data), buffer);
      break;
    case PT_BINARY:
      out.bin = CopyBinary(std::get<Bytes>(data), buffer);
      break;
    case PT_MV_LONG: {
      const auto& longs = std::get<std::vector<LONG>>(data);
      out.MVl = {static_cast<ULONG>(longs.size()), CopyArray<LONG>(longs, buffer, [](LONG l) { return l; })};
      break;
    }
    case PT_MV_STRING8: {
      const auto& texts = std::get<std::vector<std::string>>(data);
      out.MVszA = {static_cast<ULONG>(texts.size()),
                   CopyArray<LPSTR>(texts, buffer, [&](const std::string& t) { return CopyNarrow(t, buffer); })};
      break;
    }
    case PT_MV_UNICODE: {
      const auto& texts = std::get<std::vector<std::string>>(data);
      out.MVszW = {static_cast<ULONG>(texts.size()),
                   CopyArray<LPWSTR>(texts, buffer, [&](const std::string& t) { return CopyWide(t, buffer); })};
      break;
    }
    case PT_MV_BINARY: {
      const auto& binaries = std::get<std::vector<Bytes>>(data);
      out.MVbin = {static_cast<ULONG>(binaries.size()),
                   CopyArray<SBinary>(binaries, buffer, [&](const Bytes& b) { return CopyBinary(b, buffer); })};
      break;
    }
    default:
      throw WabFailure(MAPI_E_CALL_FAILED);  // OutputType only yields the types above
  }
}

}  // namespace

PropertyValue ReadCallerValue(const SPropValue& value) {
  const PV& in = value.Value;
  PropertyValue stored;
  switch (PROP_TYPE(value.ulPropTag)) {
    case PT_LONG:
      stored.data = in.l;
      break;
    case PT_BOOLEAN:
      stored.data = in.b != 0;
      break;
    case PT_SYSTIME:
      stored.data = static_cast<LONGLONG>((std::uint64_t(in.ft.dwHighDateTime) << 32) | in.ft.dwLowDateTime);
      break;
    case PT_STRING8:
      stored.data = ReadNarrow(in.lpszA);
      break;
    case PT_UNICODE:
      stored.data = ReadWide(in.lpszW);
      break;
    case PT_BINARY:
      stored.data = ReadBinary(in.bin);
      break;
    case PT_MV_LONG:
      stored.data = ReadArray<LONG>(in.MVl.cValues, in.MVl.lpl, [](LONG l) { return l; });
      break;
    case PT_MV_STRING8:
      stored.data = ReadArray<std::string>(in.MVszA.cValues, in.MVszA.lppszA, ReadNarrow);
      break;
    case PT_MV_UNICODE:
      stored.data = ReadArray<std::string>(in.MVszW.cValues, in.MVszW.lppszW, ReadWide);
      break;
    case PT_MV_BINARY:
      stored.data = ReadArray<Bytes>(in.MVbin.cValues, in.MVbin.lpbin, ReadBinary);
      break;
    default:
      throw WabFailure(MAPI_E_INVALID_TYPE);
  }
  return stored;
}

std::vector<ULONG> ReadTagArray(const SPropTagArray* tags) {
  Require(tags != nullptr);
  if (tags->cValues > kMaxProperties) throw WabFailure(MAPI_E_TOO_BIG);
  const ULONG* first = tags->aulPropTag;  // the array really holds cValues tags
  return std::vector<ULONG>(first, first + tags->cValues);
}

std::vector<ULONG> AllTagsOf(const PropertyMap& view) {
  std::vector<ULONG> tags;
  tags.reserve(view.size());
  for (const auto& entry : view) tags.push_back(PROP_TAG(PT_UNSPECIFIED, entry.first));
  return tags;
}

bool WriteValues(const PropertyMap& view, const std::vector<ULONG>& tags, bool unicode, OwnedBuffer& buffer) {
  auto* values = buffer.As<SPropValue>();
  bool complete = true;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const auto found = view.find(PROP_ID(tags[i]));
    const ULONG type = found == view.end() ? 0 : OutputType(PROP_TYPE(tags[i]), found->second.Type(), unicode);
    if (type == 0) {
      values[i].ulPropTag = CHANGE_PROP_TYPE(tags[i], PT_ERROR);
      values[i].Value.err = MAPI_E_NOT_FOUND;
      complete = false;
      continue;
    }
    values[i].ulPropTag = CHANGE_PROP_TYPE(tags[i], type);
    WriteValue(type, found->second, buffer, values[i].Value);
  }
  return complete;
}

HRESULT AnswerGetProps(const PropertyMap& view, const SPropTagArray* tags, ULONG flags,
                       const std::shared_ptr<WabAllocator>& allocator, ULONG* count, SPropValue** values) {
  Require(count != nullptr && values != nullptr);
  *count = 0;
  *values = nullptr;
  const std::vector<ULONG> wanted = tags != nullptr ? ReadTagArray(tags) : AllTagsOf(view);
  OwnedBuffer buffer(allocator, sizeof(SPropValue) * wanted.size());
  const bool complete = WriteValues(view, wanted, (flags & MAPI_UNICODE) != 0, buffer);
  *count = static_cast<ULONG>(wanted.size());
  *values = static_cast<SPropValue*>(buffer.Release());
  return complete ? S_OK : MAPI_W_ERRORS_RETURNED;
}

SPropProblemArray* NewProblemArray(const std::shared_ptr<WabAllocator>& allocator, const std::vector<SPropProblem>& problems) {
  if (problems.empty()) return nullptr;
  OwnedBuffer buffer(allocator, offsetof(SPropProblemArray, aProblem) + sizeof(SPropProblem) * problems.size());
  auto* array = buffer.As<SPropProblemArray>();
  array->cProblem = static_cast<ULONG>(problems.size());
  SPropProblem* first = array->aProblem;  // the array really holds cProblem entries
  std::memcpy(first, problems.data(), sizeof(SPropProblem) * problems.size());
  return static_cast<SPropProblemArray*>(buffer.Release());
}
