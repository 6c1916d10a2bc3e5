// Values of item lines: transfer encodings and character sets undone, and the escapes of vCard 3.0
// and iCalendar 2.0 text read and written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "stores/vdir/ItemLines.h"

// Whether the line's value is quoted-printable (ENCODING=QUOTED-PRINTABLE, or the bare word).
bool IsQuotedPrintable(const ItemLine& line);
// Whether the line's value is base64 (ENCODING=BASE64 or B, or the bare word BASE64).
bool IsBase64Value(const ItemLine& line);

// The line's value as UTF-8 bytes, escapes kept: quoted-printable decoded, then converted from
// its CHARSET. Bytes a CHARSET names UTF-8 that are not get U+FFFD for each invalid sequence;
// without a CHARSET bytes that are not UTF-8 are read as ISO-8859-1, as are the bytes of a set
// that cannot be converted. The line's ENCODING (unless base64) and CHARSET parameters are
// removed, and its value replaced.
void DecodeLineValue(ItemLine& line);

// The parts of `value` between unescaped separators (any character of `separators`), each
// unescaped (\\ \; \, \: and \n or \N for a line break; any other backslash kept).
std::vector<std::string> SplitEscaped(std::string_view value, std::string_view separators);
std::string UnescapeText(std::string_view value);
// `text` escaped as a text value: \ ; , and line breaks (CR LF, CR or LF become \n).
std::string EscapeText(std::string_view text);
// Parts escaped and joined with `separator`.
std::string JoinEscaped(const std::vector<std::string>& parts, char separator);
