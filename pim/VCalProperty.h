// vCalendar property lines: reading one line (name, parameters, decoded value) and escaping values for writing.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// Parameter name to value; names and values compare case-sensitively.
using VCalParams = std::map<std::string, std::string>;

// One property line as the reader returns it.
struct VCalProperty {
  std::string name;
  std::string value;  // decoded (DecodeVCalValue)
  VCalParams params;

  // The value of parameter `name`, "" when absent.
  const std::string& Param(const std::string& paramName) const;
  bool operator==(const VCalProperty&) const = default;
};

// Reads the property line of `text` (line ends are LF) that begins at `position` and moves
// `position` past the LF that ends it. The name ends at ";" "," or ":"; parameters are NAME=VALUE
// separated by ";" or ","; a value in double quotes is read whole (";" "," ":" inside it are
// ordinary) and loses its enclosing double quotes or apostrophes; a comma followed by a double
// quote continues a multi-valued parameter (DELEGATED-TO="mailto:a","mailto:b" gives
// "mailto:a,mailto:b"); a parameter without "=" is kept with an empty value. A LF followed by a space or tab continues the line. The value runs to the end
// of the line and is decoded with DecodeVCalValue. A line without ":" yields an empty value.
// Returns false only when `position` was already at the end of `text`.
bool ReadVCalProperty(std::string_view text, size_t& position, std::string& name, std::string& value,
                      VCalParams& params);
bool ReadVCalProperty(std::string_view text, size_t& position, VCalProperty& property);

// A raw value made ready for use: folds removed, the escapes \\ \, \; \n \N interpreted (other
// backslashes kept), then transfer-decoded by ENCODING "QUOTED-PRINTABLE" or "BASE64" (or a bare
// parameter of that name) and converted from CHARSET (default UTF-8) to UTF-8. Bytes that a
// CHARSET names UTF-8 but are not get U+FFFD for each invalid sequence; without a CHARSET, bytes
// that are not UTF-8 are read as ISO-8859-1. When decoding or conversion from another set fails
// the unescaped value is returned.
std::string DecodeVCalValue(std::string_view value, const VCalParams& params);

// A value ready to be written after ":": a backslash becomes \\ and a line break (CR LF, CR or LF)
// becomes \n, so the line stays one line and reads back unchanged. Of the other characters only
// those of `alsoEscaped` are escaped (with a backslash before them).
std::string EscapeVCalValue(std::string_view value, std::string_view alsoEscaped = {});

// The fields of a value separated by ';' (no escapes), each a view into `value`; one empty field
// for an empty value.
std::vector<std::string_view> SemicolonFields(std::string_view value);
