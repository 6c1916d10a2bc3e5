// Property values as record texts.
#include "stores/wab/WabRecordText.h"

#include <cstring>
#include <string_view>

#include "common/Format.h"
#include "common/TextCodec.h"
#include "pim/MapiPropertyName.h"

namespace {

constexpr long long kFileTimeUnitsPerSecond = 10000000;
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
constexpr ULONG PT_APPTIME = 0x0007;

// Binary bytes and 8-bit strings are narrow text of the locale; bytes the locale cannot read
// are taken as Latin-1, so that a record never holds invalid UTF-8.
std::string NarrowText(std::string_view bytes) {
  std::string text;
  if (LocaleToUtf8(bytes, text) && IsValidUtf8(text)) return text;
  return Latin1ToUtf8(bytes);
}

std::string BinaryText(const SBinary& binary) {
  if (binary.lpb == nullptr) return {};
  const auto* bytes = reinterpret_cast<const char*>(binary.lpb);
  const void* zero = std::memchr(bytes, 0, binary.cb);
  const std::size_t size = zero == nullptr ? binary.cb : static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
  return NarrowText(std::string_view(bytes, size));
}

std::string WideText(const WCHAR* text) { return text == nullptr ? std::string() : Utf16ToUtf8(text); }
std::string Narrow8(const char* text) { return text == nullptr ? std::string() : NarrowText(text); }

}  // namespace

long long FileTimeToUnixSeconds(const FILETIME& time) {
  const long long units = static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  long long seconds = units / kFileTimeUnitsPerSecond;
  if (units % kFileTimeUnitsPerSecond < 0) --seconds;
  return seconds - kSecondsFrom1601To1970;
}

bool PropertyText(const SPropValue& value, std::string& text) {
  const PV& v = value.Value;
  text.clear();
  switch (PROP_TYPE(value.ulPropTag)) {
    case PT_LONG:
      text = FormatText("%d", {v.l});
      return true;
    case PT_BOOLEAN:
      text = FormatText("%d", {static_cast<int>(v.b)});
      return true;
    case PT_SYSTIME:
      text = FormatText("%lld", {FileTimeToUnixSeconds(v.ft)});
      return true;
    case PT_APPTIME:
      text = FormatText("%lld", {static_cast<long long>(v.li)});
      return true;
    case PT_STRING8:
      text = Narrow8(v.lpszA);
      return true;
    case PT_UNICODE:
      text = WideText(v.lpszW);
      return true;
    case PT_BINARY:
      text = BinaryText(v.bin);
      return true;
    case PT_MV_LONG:
      for (ULONG i = 0; i < v.MVl.cValues; ++i) text += FormatText("%d\t", {v.MVl.lpl[i]});
      return true;
    case PT_MV_STRING8:
      for (ULONG i = 0; i < v.MVszA.cValues; ++i) text += Narrow8(v.MVszA.lppszA[i]) + "\t";
      return true;
    case PT_MV_UNICODE:
      for (ULONG i = 0; i < v.MVszW.cValues; ++i) text += WideText(v.MVszW.lppszW[i]) + "\t";
      return true;
    case PT_MV_BINARY:
      for (ULONG i = 0; i < v.MVbin.cValues; ++i) text += BinaryText(v.MVbin.lpbin[i]) + "\t";
      return true;
    default:
      return false;
  }
}

void AddPropertiesToRecord(const SPropValue* values, ULONG count, CDataItem& record, const MemberIdentifier& memberIdentifier) {
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& value = values[i];
    const std::string name = MapiPropertyName(value.ulPropTag);
    if (PROP_TYPE(value.ulPropTag) == PT_MV_BINARY && name.find("0x6600") != std::string::npos) {
      std::string& members = record[name];
      members.clear();
      for (ULONG m = 0; m < value.Value.MVbin.cValues; ++m) {
        const std::string member = memberIdentifier ? memberIdentifier(value.Value.MVbin.lpbin[m]) : std::string();
        members += member + "\t";
        if (!member.empty()) record.members.push_back(member);
      }
      continue;
    }
    std::string text;
    if (PropertyText(value, text)) record[name] = std::move(text);
  }
}
