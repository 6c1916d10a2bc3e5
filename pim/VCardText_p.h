// ASCII letter-case helpers for vCard names, parameters and character set names (internal).
#pragma once

#include <cstddef>
#include <string_view>

namespace vcardtext {

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

inline bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Position of the first occurrence of `part` in `text` in any letter case, or npos.
inline std::size_t FindIgnoreCase(std::string_view text, std::string_view part) {
  if (part.empty()) return 0;
  const char first = LowerAscii(part[0]);
  for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
    if (LowerAscii(text[start]) == first && EqualsIgnoreCase(text.substr(start, part.size()), part)) return start;
  }
  return std::string_view::npos;
}

}  // namespace vcardtext
