// Character set conversion of value bytes through iconv (plus the modified UTF-7 of IMAP), and the
// conversions between the program's text (UTF-8) and the locale's codeset.
#pragma once

#include <string>
#include <string_view>

// Converts `input` from the set `from` to the set `to` (names as iconv knows them, any letter case,
// and the three names of the modified UTF-7 of IMAP). When the bytes are not valid in a source set
// whose name contains "ASCII", they are read as ISO-8859-1 instead. Returns ENCODED_OK,
// ENCODED_NO_CONVERTER (a name is unknown, empty or malformed; `output` untouched),
// ENCODED_CONVERSION_FAILED or ENCODED_TOO_LARGE (the result would exceed kMaxEncodedTextBytes).
int ConvertCharset(std::string_view from, std::string_view to, std::string_view input, std::string& output);

// Case-insensitive equality of two character set names.
bool SameCharsetName(std::string_view a, std::string_view b);

// `bytes` as valid UTF-8: unchanged when they are, else every invalid sequence replaced by U+FFFD.
// For bytes labelled UTF-8 that are not.
std::string ReplaceInvalidUtf8(std::string_view bytes);
// Whether a character set name names UTF-8 ("UTF-8", "utf8", any letter case).
bool IsUtf8CharsetName(std::string_view name);

// Program text as UTF-8 value bytes: valid UTF-8 unchanged; otherwise read in the locale's codeset,
// and when that fails too, byte by byte as ISO-8859-1, so the result is always valid UTF-8.
std::string ProgramTextToUtf8(std::string_view text);
// Text in the locale's codeset to program text; "" when it cannot be converted.
std::string LocaleTextToProgramText(std::string_view narrow);
// Program text to the locale's codeset; "" when a character has no form there.
std::string ProgramTextToLocaleText(std::string_view text);
