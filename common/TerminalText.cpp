// The terminal filter: C0, DEL, C1 and invalid UTF-8 become "?".
#include "common/TerminalText.h"

#include <cstddef>

namespace {

// Length of the valid UTF-8 sequence at `i` (shortest form, no surrogates, at most U+10FFFF),
// and its code point; 0 when the bytes there are not one.
std::size_t Utf8Sequence(std::string_view text, std::size_t i, char32_t& codePoint) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

bool IsControl(char32_t codePoint, bool keepLineBreaks) {
  if (keepLineBreaks && (codePoint == '\n' || codePoint == '\t')) return false;
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

}  // namespace

std::string TerminalSafe(std::string_view text, bool keepLineBreaks) {
  std::string safe;
  safe.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t codePoint = 0;
    const std::size_t length = Utf8Sequence(text, i, codePoint);
    if (length == 0 || IsControl(codePoint, keepLineBreaks)) {
      safe.push_back('?');
      i += length == 0 ? 1 : length;
    } else {
      safe.append(text.substr(i, length));
      i += length;
    }
  }
  return safe;
}
