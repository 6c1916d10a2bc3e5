// Conversions of the program's text (UTF-8 in std::string) to and from UTF-16 and the locale's
// 8-bit codeset. The locale is the one the program selected with setlocale(LC_ALL, "").
#pragma once

#include <string>
#include <string_view>

// UTF-8 to UTF-16 code units; an invalid byte sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Each byte becomes the character with the same code (0-255).
std::string Latin1ToUtf8(std::string_view text);
// Whether `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// The locale's codeset name (nl_langinfo(CODESET)), e.g. "UTF-8" or "ANSI_X3.4-1968".
std::string LocaleCodeset();
// Text in the locale's codeset to UTF-8; false (and `out` as far as it got) when it cannot be converted.
bool LocaleToUtf8(std::string_view text, std::string& out);
// UTF-8 to the locale's codeset; false when a character has no form there.
bool Utf8ToLocale(std::string_view text, std::string& out);
