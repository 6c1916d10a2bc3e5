// Modified UTF-7 of IMAP: encoder and strict decoder over UTF-16 code units.
#include "pim/Utf7Imap.h"

#include <array>
#include <cstdint>

#include "common/TextCodec.h"
#include "pim/VCardText_p.h"

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int AlphabetIndex(char c) {
  const size_t at = kAlphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

bool IsPrintableAscii(char16_t unit) { return unit >= 0x20 && unit <= 0x7E; }

// Appends "&", the base64 of `units` as big-endian UTF-16 and "-".
void AppendRun(std::u16string_view units, std::string& out) {
  out += '&';
  uint32_t bits = 0;
  int bitCount = 0;
  for (const char16_t unit : units) {
    bits = (bits << 16) | unit;
    bitCount += 16;
    while (bitCount >= 6) {
      bitCount -= 6;
      out += kAlphabet[(bits >> bitCount) & 0x3F];
    }
    bits &= (1u << bitCount) - 1;
  }
  if (bitCount > 0) out += kAlphabet[(bits << (6 - bitCount)) & 0x3F];
  out += '-';
}

// Decodes the base64 run `run` (without "&" and "-") into UTF-16 units.
bool DecodeRun(std::string_view run, std::u16string& units) {
  uint32_t bits = 0;
  int bitCount = 0;
  for (const char c : run) {
    const int value = AlphabetIndex(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 16) {
      bitCount -= 16;
      units += static_cast<char16_t>((bits >> bitCount) & 0xFFFF);
      bits &= (1u << bitCount) - 1;
    }
  }
  // What is left must be padding: fewer than 6 bits, all zero.
  return bitCount < 6 && bits == 0;
}

bool SurrogatesPaired(std::u16string_view units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

bool IsImapUtf7Name(std::string_view name) {
  static constexpr std::array<std::string_view, 3> kNames = {"UTF-7-2060", "UNICODE-1-1-UTF-7-2060",
                                                             "CSUNICODE11UTF72060"};
  for (const auto known : kNames) {
    if (vcardtext::EqualsIgnoreCase(name, known)) return true;
  }
  return false;
}

bool Utf8ToImapUtf7(std::string_view utf8, std::string& out) {
  out.clear();
  if (!IsValidUtf8(utf8)) return false;
  const std::u16string units = Utf8ToUtf16(utf8);
  size_t i = 0;
  while (i < units.size()) {
    if (IsPrintableAscii(units[i])) {
      out += static_cast<char>(units[i]);
      if (units[i] == u'&') out += '-';
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < units.size() && !IsPrintableAscii(units[i])) ++i;
    AppendRun(std::u16string_view(units).substr(start, i - start), out);
  }
  return true;
}

bool ImapUtf7ToUtf8(std::string_view text, std::string& out) {
  out.clear();
  std::u16string units;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (!IsPrintableAscii(static_cast<unsigned char>(c))) return false;
    if (c != '&') {
      units += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    const size_t close = text.find('-', i + 1);
    if (close == std::string_view::npos) return false;
    if (close == i + 1) {
      units += u'&';
    } else if (!DecodeRun(text.substr(i + 1, close - i - 1), units)) {
      return false;
    }
    i = close + 1;
  }
  if (!SurrogatesPaired(units)) return false;
  out = Utf16ToUtf8(units);
  return true;
}
